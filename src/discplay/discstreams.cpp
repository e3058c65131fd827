#include "discstreams.h"

#include "streamrules.h"

#include "base/failure.h"
#include "mediamodule/mediamodule.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>

#include <algorithm>
#include <memory>

namespace {

struct DvdCloser {
    void operator()(dvd_reader_t* d) const { DVDClose(d); }
};
struct IfoCloser {
    void operator()(ifo_handle_t* i) const { ifoClose(i); }
};
struct FileCloser {
    void operator()(dvd_file_t* f) const { DVDCloseFile(f); }
};
using Dvd = std::unique_ptr<dvd_reader_t, DvdCloser>;
using Ifo = std::unique_ptr<ifo_handle_t, IfoCloser>;
using DvdFile = std::unique_ptr<dvd_file_t, FileCloser>;

class VobSource : public SectorSource {
public:
    VobSource(dvd_file_t* file, std::string name) : m_file(file), m_name(std::move(name)) {}
    std::size_t read(std::uint8_t* out, std::size_t count) override
    {
        const std::size_t left = m_size > m_at ? m_size - m_at : 0;
        count = std::min(count, left);
        if (count == 0)
            return 0;
        const ssize_t n = DVDReadBlocks(m_file, static_cast<int>(m_at), count, out);
        if (n <= 0)
            throw Failure("Cannot read " + m_name, "sector " + std::to_string(m_at));
        m_at += static_cast<std::size_t>(n);
        return static_cast<std::size_t>(n);
    }
    std::size_t size() const { return m_size; }

private:
    dvd_file_t* m_file;
    std::string m_name;
    std::size_t m_size =
        m_file ? static_cast<std::size_t>(std::max<ssize_t>(DVDFileSize(m_file), 0)) : 0;
    std::size_t m_at = 0;
};

std::vector<std::uint64_t> CellStarts(const c_adt_t* table)
{
    std::vector<std::uint64_t> starts;
    if (!table || !table->cell_adr_table || table->last_byte + 1 < C_ADT_SIZE)
        return starts;
    const std::size_t cells = (table->last_byte + 1 - C_ADT_SIZE) / sizeof(cell_adr_t);
    for (std::size_t c = 0; c < cells; ++c)
        starts.push_back(table->cell_adr_table[c].start_sector);
    std::sort(starts.begin(), starts.end());
    return starts;
}

// One stream to judge: which VOBs and what the tables say of them.
struct StreamPlace {
    std::string name; // "title 2", "the disc's menus"
    int titleset;     // 0: the disc's own menus
    bool menu;
    const video_attr_t* video;
    const c_adt_t* cells;
    double sourceShape;
};

// The verdict on one stream; a stream that is not there is none.
bool JudgePlace(dvd_reader_t* dvd, const StreamPlace& place, const CheckLimits& limits,
                StreamVerdict& verdict)
{
    DvdFile file(
        DVDOpenFile(dvd, place.titleset, place.menu ? DVD_READ_MENU_VOBS : DVD_READ_TITLE_VOBS));
    if (!file)
        return false;
    VobSource source(file.get(), place.name);
    if (source.size() == 0)
        return false;
    StreamScanRequest request;
    request.sectors = source.size();
    request.cellStarts = CellStarts(place.cells);
    // Decoding is what the check spends its time on: a GOP for every 8 MB (a quarter of
    // a minute of a typical title), at least 8 and at most 48, so a short title costs a
    // fraction of its encoding and a feature-length one a few seconds.
    constexpr std::size_t kSectorsPerSample = 4096;
    request.sampledGops =
        static_cast<int>(std::clamp<std::size_t>(source.size() / kSectorsPerSample, 8, 48));
    request.deadline = limits.deadline;
    StreamExpectation expected;
    expected.pal = place.video->video_format == 1;
    expected.wide = place.video->display_aspect_ratio == 3;
    expected.sourceShape = place.sourceShape;
    try {
        verdict = JudgeStream(Media().scanDiscStream(source, request), expected);
    } catch (const Failure& f) {
        verdict = {{"stream: " + f.text() + (f.detail().empty() ? "" : ": " + f.detail())}, ""};
    }
    return true;
}

std::string TitlesOf(const ifo_handle_t& vmg, int titleset)
{
    std::string names;
    const tt_srpt_t* table = vmg.tt_srpt;
    for (int t = 0; table && table->title && t < table->nr_of_srpts; ++t)
        if (table->title[t].title_set_nr == titleset)
            names += (names.empty() ? "" : ", ") + std::to_string(t + 1);
    return names.empty() ? "title set " + std::to_string(titleset)
                         : (names.find(',') == std::string::npos ? "Title " : "Titles ") + names;
}

double SourceShape(const CheckLimits& limits, const ifo_handle_t& vmg, int titleset)
{
    const tt_srpt_t* table = vmg.tt_srpt;
    for (int t = 0; table && table->title && t < table->nr_of_srpts; ++t)
        if (table->title[t].title_set_nr == titleset)
            return static_cast<std::size_t>(t) < limits.titleShapes.size()
                       ? limits.titleShapes[static_cast<std::size_t>(t)]
                       : 0;
    return 0;
}

void AddRow(DiscCheckReport& report, DiscCheck check, const std::string& what,
            const std::vector<std::string>& faults, const std::string& summary)
{
    std::string detail;
    for (const std::string& fault : faults)
        detail += (detail.empty() ? "" : "; ") + fault;
    report.rows.push_back({check, what, faults.empty(), faults.empty() ? summary : detail});
}

} // namespace

void CheckDiscStreams(DiscCheckReport& report, const std::string& folderOrIso,
                      const CheckLimits& limits)
{
    Dvd dvd(DVDOpen(folderOrIso.c_str()));
    Ifo vmg(dvd ? ifoOpen(dvd.get(), 0) : nullptr);
    if (!vmg || !vmg->vmgi_mat) {
        AddRow(report, DiscCheck::MenuStreams, "Menu streams follow the DVD rules",
               {"tables: the disc's tables cannot be read"}, "");
        return;
    }
    std::vector<std::string> menuFaults;
    int menus = 0;
    StreamVerdict verdict;
    if (JudgePlace(
            dvd.get(),
            {"the disc's menus", 0, true, &vmg->vmgi_mat->vmgm_video_attr, vmg->menu_c_adt, 0},
            limits, verdict)) {
        ++menus;
        for (const std::string& fault : verdict.faults)
            menuFaults.push_back("disc menu, " + fault);
    }
    for (int ts = 1; ts <= vmg->vmgi_mat->vmg_nr_of_title_sets; ++ts) {
        Ifo vts(ifoOpen(dvd.get(), ts));
        const std::string titles = TitlesOf(*vmg, ts);
        const std::string what = titles + " streams follow the DVD rules";
        if (!vts || !vts->vtsi_mat) {
            AddRow(report, DiscCheck::TitleStreams, what, {"tables: they cannot be read"}, "");
            continue;
        }
        if (JudgePlace(dvd.get(),
                       {titles, ts, true, &vts->vtsi_mat->vtsm_video_attr, vts->menu_c_adt, 0},
                       limits, verdict)) {
            ++menus;
            for (const std::string& fault : verdict.faults)
                menuFaults.push_back("title set " + std::to_string(ts) + " menu, " + fault);
        }
        if (JudgePlace(dvd.get(),
                       {titles, ts, false, &vts->vtsi_mat->vts_video_attr, vts->vts_c_adt,
                        SourceShape(limits, *vmg, ts)},
                       limits, verdict))
            AddRow(report, DiscCheck::TitleStreams, what, verdict.faults, verdict.summary);
        else
            AddRow(report, DiscCheck::TitleStreams, what, {"stream: it has no video"}, "");
    }
    if (menus > 0)
        AddRow(report, DiscCheck::MenuStreams, "Menu streams follow the DVD rules", menuFaults,
               std::to_string(menus) + (menus == 1 ? " menu stream" : " menu streams"));
}
