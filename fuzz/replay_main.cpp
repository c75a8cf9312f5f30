// SPDX-License-Identifier: MIT WITH fmt-exception
// Replays fuzz inputs through a target without libFuzzer, so that the
// normal test suite runs the committed corpus with any compiler.
//   replay DIR|FILE...   exit status 0 when every input passed its checks
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replay_file(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::perror(path.c_str());
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            std::perror(argv[i]);
            return 1;
        }
        std::vector<std::string> files;
        if (S_ISDIR(st.st_mode)) {
            DIR* d = opendir(argv[i]);
            if (!d) return 1;
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.') files.push_back(std::string(argv[i]) + "/" + e->d_name);
            closedir(d);
        } else {
            files.push_back(argv[i]);
        }
        for (auto& file : files) {
            if (!replay_file(file)) return 1;
            ++count;
        }
    }
    std::printf("%d inputs replayed, every check passed\n", count);
    return count > 0 ? 0 : 1;
}
