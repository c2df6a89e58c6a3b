// korvel-blobpack: turns files into the program's embedded blobs.
//
//   korvel-blobpack --asm OUT.S --table OUT.cpp --stage DIR ENTRY...
//
// ENTRY is one of
//   --z NAME FILE        store FILE compressed: 4-byte little-endian length + zlib level 9
//   --raw NAME FILE      store FILE as it is
//   --gbk NAME FILE      FILE is UTF-8 text: store it converted to GBK bytes, uncompressed
//   --max NAME BYTES     refuse to pack when the stored NAME is larger than BYTES
//
// The stored bytes of each blob go to DIR/NAME.blob; OUT.S pulls them in with .incbin and
// OUT.cpp lists them as korvel::BlobResource entries (korvel::kEmbeddedBlobs and
// korvel::kEmbeddedBlobCount). Names are stored upper-case. Outputs whose bytes are already
// right are left untouched, so an unchanged blob does not rebuild its users.
#include <iconv.h>
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/decimal.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

struct PackError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Mode { Compressed, Raw, Gbk };

struct Entry {
    std::string name;
    Mode mode;
    fs::path file;
    Bytes stored;
};

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw PackError("cannot open " + path.string());
    Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw PackError("cannot read " + path.string());
    return b;
}

void WriteIfChanged(const fs::path& path, const std::string& bytes) {
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (old == bytes) return;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw PackError("cannot write " + path.string());
}

Bytes Compress(const Bytes& plain, const std::string& name) {
    if (plain.size() > 0xFFFFFFFFu) throw PackError(name + ": too large for a 32-bit length");
    uLongf bound = compressBound(static_cast<uLong>(plain.size()));
    Bytes out(4 + bound);
    const auto n = static_cast<std::uint32_t>(plain.size());
    out[0] = static_cast<unsigned char>(n);
    out[1] = static_cast<unsigned char>(n >> 8);
    out[2] = static_cast<unsigned char>(n >> 16);
    out[3] = static_cast<unsigned char>(n >> 24);
    const int rc = compress2(out.data() + 4, &bound, plain.data(), static_cast<uLong>(plain.size()),
                             Z_BEST_COMPRESSION);
    if (rc != Z_OK) throw PackError(name + ": zlib compress2 failed with " + std::to_string(rc));
    out.resize(4 + bound);
    return out;
}

// UTF-8 to GBK through glibc's GB18030 converter (its "GBK" converter rejects the
// user-defined area). A character that needs GB18030's four-byte form has no GBK code:
// that is an error here rather than a silently wrong page.
Bytes Utf8ToGbkStrict(const Bytes& utf8, const std::string& name) {
    iconv_t cd = iconv_open("GB18030", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw PackError("iconv cannot convert to GB18030");
    Bytes out(utf8.size() * 2 + 16);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(utf8.data()));
    std::size_t inLeft = utf8.size();
    char* o = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
    const int err = errno;
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) {
        throw PackError(name + ": not valid UTF-8 at byte " + std::to_string(utf8.size() - inLeft) +
                        " (" + std::strerror(err) + ")");
    }
    out.resize(out.size() - outLeft);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] < 0x80) continue;
        if (i + 1 < out.size() && out[i + 1] >= 0x30 && out[i + 1] <= 0x39) {
            throw PackError(name + ": a character at GBK byte " + std::to_string(i) +
                            " has no two-byte GBK code");
        }
        ++i;
    }
    return out;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string CheckName(const std::string& raw) {
    if (raw.empty()) throw PackError("empty blob name");
    for (char c : raw) {
        const bool ok =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) throw PackError("blob name '" + raw + "' may hold only letters, digits and _");
    }
    return Upper(raw);
}

// A path inside a double-quoted assembler string.
std::string AsmQuote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string AsmFile(const std::vector<Entry>& entries, const fs::path& stage) {
    std::ostringstream s;
    s << "/* Generated by korvel-blobpack. Do not edit. */\n"
      << "    .section .rodata.korvel_blobs,\"a\"\n";
    for (const Entry& e : entries) {
        const std::string sym = "korvel_blob_" + e.name;
        s << "    .balign 16\n"
          << "    .globl " << sym << "\n"
          << "    .hidden " << sym << "\n"
          << "    .type " << sym << ", @object\n"
          << "    .size " << sym << ", " << e.stored.size() << "\n"
          << sym << ":\n"
          << "    .incbin " << AsmQuote(fs::absolute(stage / (e.name + ".blob")).string()) << "\n";
    }
    // An empty table still needs one byte so that the section exists.
    s << "    .byte 0\n"
      << "    .section .note.GNU-stack,\"\",@progbits\n";
    return s.str();
}

std::string TableFile(const std::vector<Entry>& entries) {
    std::ostringstream s;
    s << "// Generated by korvel-blobpack. Do not edit.\n"
      << "#include <cstddef>\n\n#include \"data/blob.h\"\n\n";
    if (!entries.empty()) {
        s << "extern \"C\" {\n";
        for (const Entry& e : entries)
            s << "extern const unsigned char korvel_blob_" << e.name << "[];\n";
        s << "}\n\n";
    }
    s << "namespace korvel {\n\n"
      << "extern const BlobResource kEmbeddedBlobs[];\n"
      << "extern const std::size_t kEmbeddedBlobCount;\n\n"
      << "const BlobResource kEmbeddedBlobs[] = {\n";
    for (const Entry& e : entries) {
        s << "    {\"" << e.name << "\", korvel_blob_" << e.name << ", " << e.stored.size() << "u, "
          << (e.mode == Mode::Compressed ? "true" : "false") << "},\n";
    }
    if (entries.empty()) s << "    {\"\", nullptr, 0u, false},\n";
    s << "};\n"
      << "const std::size_t kEmbeddedBlobCount = " << entries.size() << ";\n\n"
      << "}  // namespace korvel\n";
    return s.str();
}

int Run(int argc, char** argv) {
    fs::path asmOut, tableOut, stage;
    std::vector<Entry> entries;
    std::map<std::string, std::uintmax_t> limits;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto need = [&](int n) {
            if (i + n >= argc) throw PackError(a + " needs " + std::to_string(n) + " argument(s)");
        };
        if (a == "--asm") {
            need(1), asmOut = argv[++i];
        } else if (a == "--table") {
            need(1), tableOut = argv[++i];
        } else if (a == "--stage") {
            need(1), stage = argv[++i];
        } else if (a == "--z" || a == "--raw" || a == "--gbk") {
            need(2);
            Entry e;
            e.name = CheckName(argv[++i]);
            e.file = argv[++i];
            e.mode = a == "--z" ? Mode::Compressed : a == "--raw" ? Mode::Raw : Mode::Gbk;
            for (const Entry& other : entries)
                if (other.name == e.name) throw PackError("blob " + e.name + " given twice");
            entries.push_back(std::move(e));
        } else if (a == "--max") {
            need(2);
            const std::string name = CheckName(argv[++i]);
            const auto n = korvel::WholeInteger<unsigned long long>(argv[++i]);
            if (!n) throw PackError("--max needs a byte count");
            limits[name] = *n;
        } else {
            throw PackError("unknown argument " + a);
        }
    }
    if (asmOut.empty() || tableOut.empty() || stage.empty())
        throw PackError("--asm, --table and --stage are required");
    for (const auto& [name, limit] : limits) {
        bool found = false;
        for (const Entry& e : entries) found = found || e.name == name;
        if (!found) throw PackError("--max names " + name + ", which is not packed");
    }

    fs::create_directories(stage);
    for (Entry& e : entries) {
        const Bytes content = ReadFile(e.file);
        switch (e.mode) {
            case Mode::Compressed:
                e.stored = Compress(content, e.name);
                break;
            case Mode::Raw:
                e.stored = content;
                break;
            case Mode::Gbk:
                e.stored = Utf8ToGbkStrict(content, e.name);
                break;
        }
        if (auto it = limits.find(e.name); it != limits.end() && e.stored.size() > it->second) {
            throw PackError(e.name + " is " + std::to_string(e.stored.size()) +
                            " bytes, more than its limit of " + std::to_string(it->second));
        }
        WriteIfChanged(stage / (e.name + ".blob"), std::string(e.stored.begin(), e.stored.end()));
    }
    WriteIfChanged(asmOut, AsmFile(entries, stage));
    WriteIfChanged(tableOut, TableFile(entries));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "korvel-blobpack: " << e.what() << "\n";
        return 1;
    }
}
