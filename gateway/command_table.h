// The gateway's commands: each name with the handler that answers it.
// command_table.cpp holds the one list of them; the dispatcher searches it,
// and the build hands its names to the tests that go through every command.
#ifndef KX_GATEWAY_COMMAND_TABLE_H
#define KX_GATEWAY_COMMAND_TABLE_H

#include "interfaces/mex_api.h"

#include <cstddef>
#include <string>

namespace kx {

// `payload` is null or a struct or empty array; a handler that reads no
// payload ignores it.
using CommandHandler = MxPtr (*)(const mxArray* payload);

struct Command {
    const char* name;
    CommandHandler handler;
};

inline constexpr std::size_t kCommandCount = 23;

// Every command, in the order the dispatcher tries them.
extern const Command kCommandTable[kCommandCount];

// The command named exactly `name` (byte for byte, case-sensitive), or null.
const Command* FindCommand(const std::string& name);

}  // namespace kx

#endif  // KX_GATEWAY_COMMAND_TABLE_H
