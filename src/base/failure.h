#pragma once

#include <stdexcept>
#include <string>

// The one failure the core hands to its callers: a fixed text naming what could not be
// done ("Cannot create file /x/menu.png"), the detail saying why ("No space left on
// device") and the system's errno when the system gave that reason (0 otherwise).
// what() is "TEXT: DETAIL", or TEXT alone when there is no detail.
class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& text, const std::string& detail = {}, int systemError = 0);
    // A failure whose detail is the system's description of `error` (an errno value).
    static Failure FromErrno(const std::string& text, int error);

    const std::string& text() const noexcept { return m_text; }
    const std::string& detail() const noexcept { return m_detail; }
    int systemError() const noexcept { return m_systemError; }

private:
    std::string m_text;
    std::string m_detail;
    int m_systemError = 0;
};

// The detail of any exception: a Failure's detail, else what().
std::string FailureDetail(const std::exception& error);
