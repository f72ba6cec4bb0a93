#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "store/tables.h"

namespace vesk::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vesk-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

TempStore::TempStore() : m_data(m_dir.Path() + "/DATA") {
    ConnectStoreAt(m_data);
}

const FieldDescriptor kKeyNameFields[3] = {MakeField("KEY", 'I', 8), MakeField("NAME", 'C', 10),
                                           MakeField("DATA", 'B', 0)};

std::string KeyNameRecord(long key, const char* name) {
    char text[32];
    std::snprintf(text, sizeof text, "%8ld%-10s", key, name);
    return text;
}

std::vector<unsigned char> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

int AppendFolder(CFolderTable& folders, std::int32_t id, const char* type, const char* title,
                 double scale) {
    FolderRecord f;
    f.folderId = id;
    f.type = type;
    f.title = title;
    f.scale = scale;
    return folders.Append(f);
}

RunResult RunProgram(const std::string& dir, const std::string& program, const std::string& args,
                     const std::string& errFile, const std::string& prefix) {
    const std::string command = "cd '" + dir + "' && " + prefix + (prefix.empty() ? "" : " ") +
                                "'" + program + "' " + args + " 2>'" + errFile + "' </dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (std::size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pipe ? pclose(pipe) : -1;
    const std::vector<unsigned char> e = ReadFileBytes(errFile);
    return {status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1, out,
            std::string(e.begin(), e.end())};
}

bool ReadCsv(const std::string& s, std::vector<std::vector<std::string>>* rows) {
    std::vector<std::string> row(1);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            if (!row.back().empty()) return false;
            for (++i;; ++i) {
                if (i >= s.size()) return false;
                if (s[i] == '"') {
                    if (i + 1 < s.size() && s[i + 1] == '"') {
                        row.back() += '"';
                        ++i;
                    } else {
                        break;
                    }
                } else {
                    row.back() += s[i];
                }
            }
        } else if (c == ',') {
            row.emplace_back();
        } else if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
            rows->push_back(row);
            row.assign(1, "");
            ++i;
        } else if (c == '\n' || c == '\r') {
            return false;  // lines end with CR LF
        } else {
            row.back() += c;
        }
    }
    return row.size() == 1 && row[0].empty();
}

std::string ReadFileText(const std::string& path) {
    const std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::map<std::string, std::vector<unsigned char>> FolderBytes(const std::string& dir) {
    std::map<std::string, std::vector<unsigned char>> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file())
            files[e.path().filename().string()] = ReadFileBytes(e.path().string());
    return files;
}

long CountInFolder(CStoreTable& table, std::int32_t folderId) {
    long count = 0;
    EXPECT_TRUE(table.Open() && table.SetScopeTo(folderId, &count));
    return count;
}

bool AppendImpulse(CImpulseTable& impulses, std::int32_t folderId, std::int32_t id,
                   const std::vector<unsigned char>& wave) {
    ImpulseRecord r;
    r.folderId = folderId;
    r.impulseId = id;
    return impulses.Append(r, wave);
}

}  // namespace vesk::test
