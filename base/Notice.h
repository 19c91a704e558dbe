#pragma once

#include <string_view>

/// What the program tells the user on stderr: "Klingelwacht: text" and LF, written in one
/// piece, so that messages from the CAPI thread, the log writer and the UI never mix.
void notice(std::string_view text);

/// Text that must reach the user as it stands (whole log records to recover by hand), in one
/// piece and without a prefix.
void noticeVerbatim(std::string_view text);
