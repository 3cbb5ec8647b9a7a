// Fixed addresses of the image: the start code, RAM and the data section.
// The board's registers are in board/board.h.
#pragma once

#include <cstdint>

namespace r3k::layout {

// Boot memory and the start code.
inline constexpr uint32_t kResetVector = 0xBFC00000;
inline constexpr uint32_t kEndLoop = 0xBFC00100;        // test_finish
inline constexpr uint32_t kBootVector = 0xBFC00180;     // the R3000's general vector with BEV = 1
inline constexpr uint32_t kExceptionHandler = 0xBFC00184;  // the exceptions image's, after that vector
inline constexpr uint32_t kExceptionLoop = 0xBFC00380;  // general exception vector (boot)
inline constexpr uint32_t kLocate = 0xBFC0038C;
inline constexpr uint32_t kInstTest = 0xBFC003C0;
inline constexpr uint32_t kTestEnd = 0xBFC00800;
inline constexpr uint32_t kWait1s = 0xBFC0084C;
inline constexpr uint32_t kFirstRoutine = 0xBFC00880;
inline constexpr uint32_t kRoutineAlignment = 16;

// RAM, and the data section placed at its start.
inline constexpr uint32_t kRamBase = 0x80000000;
inline constexpr uint32_t kRamSize = 0x40000;  // 256 KiB
inline constexpr uint32_t kDataSize = 0x10;

// The driver.
inline constexpr int kRoutineCount = 68;
inline constexpr uint32_t kPauseCount = 0x200000;  // pause loop passes less one

// The register-usage record in the last 24 bytes of the text.
inline constexpr uint32_t kRegisterUsageMask = 0x800B7F70;
inline constexpr uint32_t kRegisterUsageSize = 24;

}  // namespace r3k::layout
