// vesk-cli run from the shell in a fresh folder, with the store in its DATA.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace vesk::test {

class CliTest : public ::testing::Test {
  protected:
    RunResult Run(const std::string& args, const std::string& program = VESK_CLI_PATH) {
        return RunProgram(dir.Path(), program, args, dir.File("stderr.txt"));
    }
    std::string Text(const std::string& name) const { return ReadFileText(dir.File(name)); }
    // Every file of the store with its bytes, to show that a refused command changed nothing.
    std::map<std::string, std::vector<unsigned char>> Snapshot() const {
        return FolderBytes(dir.File("DATA"));
    }
    TempDir dir;
};

}  // namespace vesk::test
