#pragma once

/// The application id: the desktop entry's, icon's and metainfo's file name, the window's
/// app id on Wayland and the notifications' desktop-entry hint must all carry it.
inline constexpr const char *kAppId = "de.klingelwacht.klingelwacht";
