// SPDX-License-Identifier: GPL-3.0-or-later
// Figures 15 and 16: synthetic .com-like zones, and the diff of two sorted days.
//   bench_zones generate NAMES DAY OUT.zone.gz   day 0, or day 1 with 0.5 % gone and 0.5 % new
//   bench_zones diff BEFORE AFTER OUT            the names only in BEFORE, one a line
#include "zones/namefiles.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <zlib.h>

namespace {

std::uint64_t mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// Lengths as in .com: mostly 6 to 15, every length from 1 to 63 present.
std::string label(std::uint64_t i) {
    std::uint64_t h = mix(i);
    const int roll = int(h % 1000);
    h /= 1000;
    int length = roll < 900 ? 6 + int(h % 10) : roll < 990 ? 1 + int(h % 30) : 1 + int(h % 63);
    h = mix(h);
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string out;
    for (int k = 0; k < length; ++k) {
        if (k % 10 == 9)
            h = mix(h + std::uint64_t(k));
        const bool hyphen = k > 0 && k + 1 < length && (h % 23) == 0;
        out += hyphen ? '-' : letters[h % (k % 3 == 2 ? 36 : 26)];
        h /= 37;
    }
    // A number keeps distinct names distinct.
    return out + std::to_string(i % 7 == 0 ? i : i % 1000);
}

int generate(std::uint64_t names, int day, const char* path) {
    gzFile out = gzopen(path, "wb1");
    if (!out)
        return 1;
    gzbuffer(out, 1 << 20);
    gzprintf(out, "$ORIGIN COM.\n$TTL 86400\n@ IN SOA a.gtld-servers.net. nstld.verisign-grs.com. (\n"
                  "\t%d ; serial\n\t1800 900 604800 86400 )\n@ 172800 IN NS a.gtld-servers.net.\n",
             1700000000 + day);
    const std::uint64_t extra = day ? names / 200 : 0;
    std::string line;
    for (std::uint64_t i = 0; i < names + extra; ++i) {
        const std::uint64_t h = mix(i ^ 0x5eed);
        if (day && i < names && h % 200 == 7)
            continue; // gone today
        std::string name = label(i);
        if (h % 20 == 3) // some registrars write owners in capitals
            for (std::size_t k = 0; k < name.size(); k += 2)
                name[k] = char(std::toupper(static_cast<unsigned char>(name[k])));
        const bool absolute = h % 3 != 0;
        const std::string owner = absolute ? name + ".com." : name;
        line.clear();
        const int servers = 2 + int(h % 3);
        for (int s = 0; s < servers; ++s)
            line += (s == 0 || h % 5 ? owner : std::string("\t")) + "\t172800\tin\tns\tns" + std::to_string(s + 1) +
                    ".host" + std::to_string(h % 5000) + (s % 2 ? ".net.\n" : ".com.\n");
        if (h % 10 == 1)
            line += owner + "\t86400\tin\tds\t12345 8 2 49FD46E6C4B45C55D4AC69CBD3CD34AC1AFE51DE3B2A7F4E1C8A9E6D22BD2A6B\n";
        if (h % 50 == 2)
            line += "ns1." + owner + "\t172800\tin\ta\t192.0.2." + std::to_string(h % 250) + "\n";
        gzwrite(out, line.data(), unsigned(line.size()));
    }
    return gzclose(out) == Z_OK ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 5 && !std::strcmp(argv[1], "generate"))
        return generate(std::strtoull(argv[2], nullptr, 10), std::atoi(argv[3]), argv[4]);
    if (argc == 5 && !std::strcmp(argv[1], "diff")) {
        sites::zones::LineWriter out(QString::fromLocal8Bit(argv[4]));
        sites::zones::DiffCount count;
        QString error;
        const bool ok = sites::zones::diffSorted(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                                                 [&](std::string_view name) { out.write(name); }, {}, &count, &error) &&
                        out.commit(&error);
        std::fprintf(stderr, "%llu removed, %llu added\n", static_cast<unsigned long long>(count.removed),
                     static_cast<unsigned long long>(count.added));
        return ok ? 0 : 1;
    }
    std::fputs("usage: bench_zones generate NAMES DAY OUT.zone.gz | diff BEFORE AFTER OUT\n", stderr);
    return 2;
}
