#include "failure.h"

#include <cstring>

Failure::Failure(const std::string& text, const std::string& detail, int systemError)
    : std::runtime_error(detail.empty() ? text : text + ": " + detail), m_text(text),
      m_detail(detail), m_systemError(systemError)
{
}

Failure Failure::FromErrno(const std::string& text, int error)
{
    return Failure(text, error != 0 ? std::strerror(error) : std::string(), error);
}

std::string FailureDetail(const std::exception& error)
{
    if (const auto* failure = dynamic_cast<const Failure*>(&error))
        return failure->detail();
    return error.what();
}
