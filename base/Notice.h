#pragma once

#include <string_view>

/// What the program tells the user on stderr: "Klingelwacht: text" as one line, written in
/// one piece, so that lines from the CAPI thread, the log writer and the UI never mix.
void notice(std::string_view text);

/// Text that must reach the user as it stands (whole lines to recover by hand), in one
/// piece and without a prefix.
void noticeVerbatim(std::string_view text);
