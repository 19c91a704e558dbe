#pragma once

#include <string>
#include <string_view>

class CallViews;

/// The call log file: appended one line at a time, read back once at start.
class CallLog
{
public:
    explicit CallLog(std::string fileName = "caller.log");

    /// Appends the line and CR LF. Raises std::system_error on failure.
    void LogAppend(std::string_view line);
    /// Fills the grid and the list from the file.
    void LogLoad(CallViews &views);

private:
    std::string m_fileName;
};
