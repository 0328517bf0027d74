// The command table is the one list of commands: the names the build hands to
// the tests are the table's, and each name finds its own entry only.
#include "gateway/command_table.h"

#include "command_names.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace kx {
namespace {

TEST(CommandTable, NamesHandedToTheTests_AreTheTablesInOrder) {
    std::vector<std::string> table;
    for (const Command& command : kCommandTable) {
        table.emplace_back(command.name);
    }
    EXPECT_EQ(kxtest::CommandNames(), table);
}

TEST(CommandTable, EveryNameIsUniqueAndFindsItsOwnEntryOnly) {
    std::set<std::string> seen;
    for (const Command& command : kCommandTable) {
        ASSERT_NE(command.handler, nullptr) << command.name;
        EXPECT_TRUE(seen.insert(command.name).second) << command.name << " is listed twice";
        EXPECT_EQ(FindCommand(command.name), &command) << command.name;
        const std::string name = command.name;
        std::string upper = name;
        for (char& c : upper) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        for (const std::string& near_miss : {upper, " " + name, name + " ", name.substr(1)}) {
            EXPECT_EQ(FindCommand(near_miss), nullptr) << '"' << near_miss << '"';
        }
    }
    EXPECT_EQ(FindCommand(""), nullptr);
}

}  // namespace
}  // namespace kx
