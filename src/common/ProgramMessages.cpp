// The program's own string table: each subsystem keeps its entries in its own fragment.

#include <vector>

#include "common/ProgramMessages.h"

const MessageTable& ProgramMessageTable() {
    // a vector, not an array, so that the table may be empty while fragments are empty
    static const std::vector<MessageEntry> entries = {
#include "definition/DefinitionMessages.inc"
#include "shell/ShellMessages.inc"
#include "tester/TesterMessages.inc"
    };
    static const MessageTable table(entries.data(), entries.data() + entries.size());
    return table;
}
