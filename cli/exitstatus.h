#pragma once

// What the command-line programs tell the shell.
namespace zefto::cli::exitStatus {
inline constexpr int converted = 0;    // every report said "Converted"
inline constexpr int invalidFile = 1;  // a report said " Invalid file ", none worse
inline constexpr int failed = 2;       // a report could not be converted completely, or output failed
inline constexpr int duplicate = 3;    // a report was refused as converted before; worse than 1, milder than 2
inline constexpr int usage = 64;       // wrong usage
inline constexpr int signalBase = 128; // + the signal that stopped us (SIGINT 130, SIGTERM 143)
} // namespace zefto::cli::exitStatus
