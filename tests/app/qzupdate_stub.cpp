// A stand-in for the online-update library: records its arguments beside itself.
#include <cstdio>

extern "C" int OnlineUpdate(const char* product, const char* program, const char* commandLine,
                            int icon, const char* caption, const char* key) {
    if (FILE* f = std::fopen("qzupdate-call.txt", "w")) {
        std::fprintf(f, "%s\n%s\n%s\n%d\n%s\n%s\n", product, program, commandLine, icon, caption,
                     key);
        std::fclose(f);
    }
    return 0;
}
