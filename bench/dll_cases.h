// The files through which the native benchmark hands its configurations to
// the DLL builds' benchmark driver (dll_bench.cpp). Portable C++ only: both
// sides compile it, natively and with the Windows toolchains.
//
//   cases.tsv          INDEX  LIST  TEXT  MATCHES  HASH  LABEL   (one line per configuration)
//   LIST               entry count, then per entry its name and its ID (u32 length, UTF-16 units)
//   TEXT               the text's UTF-16 units
//
// Numbers are written little-endian as the machines that run both are.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "recognizer/matcher.h"
#include "recognizer/stock_info.h"

namespace varnoke::bench {

struct DllCase {
    std::size_t index = 0;
    std::string list, text;  // file names inside the folder
    std::size_t matches = 0;
    uint64_t hash = 0;
    std::string label;
};

// FNV-1a over each match's entry, position and length, in order: equal
// results give equal hashes on every build.
inline uint64_t MatchHash(const std::vector<StockMatch>& matches) {
    uint64_t h = 0xcbf29ce484222325ull;
    const auto mix = [&](uint32_t v) {
        for (int b = 0; b < 4; ++b) h = (h ^ ((v >> (8 * b)) & 0xFF)) * 0x100000001b3ull;
    };
    for (const StockMatch& m : matches) mix(m.entry), mix(m.position), mix(m.length);
    return h;
}

namespace dll_files {

inline void PutU32(std::ostream& out, uint32_t v) {
    const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    out.write(bytes, 4);
}

inline bool GetU32(std::istream& in, uint32_t& v) {
    unsigned char bytes[4];
    if (!in.read(reinterpret_cast<char*>(bytes), 4)) return false;
    v = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return true;
}

inline void PutUnits(std::ostream& out, std::u16string_view s) {
    for (char16_t c : s) out.put(static_cast<char>(c & 0xFF)).put(static_cast<char>(c >> 8));
}

inline bool GetUnits(std::istream& in, std::size_t n, std::u16string& s) {
    std::string bytes(2 * n, '\0');
    if (n != 0 && !in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return false;
    s.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return true;
}

}  // namespace dll_files

inline bool WriteDllList(const std::string& path, const std::vector<stockInfo>& list) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    dll_files::PutU32(out, static_cast<uint32_t>(list.size()));
    for (const stockInfo& e : list) {
        dll_files::PutU32(out, static_cast<uint32_t>(e.strStockName.size()));
        dll_files::PutUnits(out, e.strStockName);
        dll_files::PutU32(out, static_cast<uint32_t>(e.strStockID.size()));
        dll_files::PutUnits(out, e.strStockID);
    }
    return static_cast<bool>(out.flush());
}

inline bool ReadDllList(const std::string& path, std::vector<stockInfo>& list) {
    std::ifstream in(path, std::ios::binary);
    uint32_t count = 0;
    if (!dll_files::GetU32(in, count)) return false;
    list.assign(count, stockInfo{});
    for (stockInfo& e : list) {
        uint32_t n = 0;
        if (!dll_files::GetU32(in, n) || !dll_files::GetUnits(in, n, e.strStockName)) return false;
        if (!dll_files::GetU32(in, n) || !dll_files::GetUnits(in, n, e.strStockID)) return false;
    }
    return true;
}

inline bool WriteDllText(const std::string& path, std::u16string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    dll_files::PutUnits(out, text);
    return static_cast<bool>(out.flush());
}

inline bool ReadDllText(const std::string& path, std::u16string& text) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const auto bytes = static_cast<std::size_t>(in.tellg());
    in.seekg(0);
    return bytes % 2 == 0 && dll_files::GetUnits(in, bytes / 2, text);
}

inline std::string DllCaseLine(const DllCase& c) {
    std::ostringstream line;
    line << c.index << '\t' << c.list << '\t' << c.text << '\t' << c.matches << '\t' << c.hash << '\t' << c.label;
    return line.str();
}

inline std::vector<DllCase> ReadDllCases(const std::string& path) {
    std::vector<DllCase> cases;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        DllCase c;
        if (fields >> c.index >> c.list >> c.text >> c.matches >> c.hash) {
            std::getline(fields >> std::ws, c.label);
            cases.push_back(std::move(c));
        }
    }
    return cases;
}

}  // namespace varnoke::bench
