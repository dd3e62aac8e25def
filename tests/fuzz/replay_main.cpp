// Replays every file of a corpus folder through a fuzz target, so the corpus doubles
// as a regression test where libFuzzer is not used.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    DIR* dir = opendir(argv[1]);
    if (dir == NULL) {
        fprintf(stderr, "cannot open %s\n", argv[1]);
        return 2;
    }
    int count = 0;
    while (struct dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::string path = std::string(argv[1]) + "/" + entry->d_name;
        FILE* f = fopen(path.c_str(), "rb");
        if (f == NULL)
            continue;
        std::vector<uint8_t> data;
        uint8_t buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            data.insert(data.end(), buf, buf + n);
        fclose(f);
        LLVMFuzzerTestOneInput(data.data(), data.size());
        ++count;
    }
    closedir(dir);
    printf("replayed %d inputs from %s\n", count, argv[1]);
    return count > 0 ? 0 : 1;
}
