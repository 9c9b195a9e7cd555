#pragma once
// The program's own string table (definition parser, tester, shell), assembled from the
// subsystems' fragments; looked up through ProgramMessage.

#include "common/MessageTable.h"

/// The table, built at first use and only read afterwards.
const MessageTable& ProgramMessageTable();
