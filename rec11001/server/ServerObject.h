#pragma once

// The application server object that serves the screen, as the module and rec-appserver
// both name it, and the screen whose records it keeps.
inline constexpr const char *kServerObject = "Rec11001.rdmRelLancContReceber";
inline constexpr const char *kServerScreen = "REC11001";
