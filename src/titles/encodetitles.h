#pragma once

#include "bitrateplan.h"
#include "titleinfo.h"

#include "base/failure.h"

#include <cstddef>
#include <string>
#include <vector>

// One title to write: an MPEG program stream ready for dvdauthor.
struct TitleJob {
    TitleInfo info;
    std::string output; // replaced only when the whole title is written
};

// Where the titles stand, for a progress bar.
struct TitlesStatus {
    std::vector<double> titleDone; // 0..1 for each job, in the jobs' order
    double overallDone = 0;        // 0..1, weighted by length
    double secondsLeft = -1;       // estimate; negative until one can be made
};

// Receives the status about four times a second on the thread that runs EncodeTitles
// (an editor runs it on a worker and passes the status on), and may stop the run.
class TitleProgress {
public:
    virtual ~TitleProgress() = default;
    virtual void update(const TitlesStatus& status) = 0;
    // Asked with every update; once true, all stop and EncodeTitles throws TitlesCancelled.
    virtual bool cancelled() { return false; }
    // A title made but maybe not as the user expects ("title 3: the movie ends at 0:05.2 of
    // 0:10.0, it may be cut off"); told once all are made, before EncodeTitles returns.
    virtual void warning(const std::string& text) { (void)text; }
};

class TitlesCancelled : public Failure {
public:
    TitlesCancelled() : Failure("Making the titles was cancelled") {}
};

// Encodes (or copies what is already fit for the disc) every job, up to `jobs` at a time
// (0: one, threaded over every core), with the threads of each encoder chosen against
// `jobs` so that jobs x threads stays within the cores. On the first failure the others
// stop and a Failure naming that title is thrown; on a failure or a cancel every job's
// output is removed, so no half-made set of titles remains.
void EncodeTitles(const std::vector<TitleJob>& titles, const BitratePlan& plan, DiscSystem system,
                  int jobs, TitleProgress& progress);
