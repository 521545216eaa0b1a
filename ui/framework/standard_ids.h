#pragma once

// The ids the dialog framework itself gives a meaning to; a program's own
// ids (resource.h) stay clear of them.

// Results of a modal dialog; IDOK is also the id of an OK button.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Labels and pictures that no code refers to.
inline constexpr int IDC_STATIC = -1;
