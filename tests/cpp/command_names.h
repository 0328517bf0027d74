// The gateway's command names as the build read them from the command table
// (gateway/command_table.cpp), for tests that go through every command.
#ifndef KX_TESTS_COMMAND_NAMES_H
#define KX_TESTS_COMMAND_NAMES_H

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kxtest {

// In table order. Throws when the file is missing or lists nothing, so a test
// that loops over the names cannot pass by looping over none.
inline std::vector<std::string> CommandNames() {
    std::ifstream file(KX_TEST_COMMAND_NAMES);
    std::vector<std::string> names;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty()) {
            names.push_back(line);
        }
    }
    if (names.empty()) {
        throw std::runtime_error(std::string("no command names in ") + KX_TEST_COMMAND_NAMES);
    }
    return names;
}

}  // namespace kxtest

#endif  // KX_TESTS_COMMAND_NAMES_H
