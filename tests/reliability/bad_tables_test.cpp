// Damaged timetable data on its way from the blob to the memory table: overlong lines,
// streams without a usable header, stray quotes, and cut or bit-flipped blobs. A table that
// cannot be read is reported with the reader's reason and stays empty and unflagged.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/loaders.h"
#include "data/blob.h"
#include "data/schema.h"
#include "data/table_stream.h"

namespace korvel {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes Pack(const std::string& text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    Bytes blob(4 + size);
    const auto n = static_cast<std::uint32_t>(text.size());
    for (int i = 0; i < 4; ++i) blob[i] = static_cast<unsigned char>(n >> (8 * i));
    EXPECT_EQ(compress2(blob.data() + 4, &size, reinterpret_cast<const Bytef*>(text.data()),
                        text.size(), 9),
              Z_OK);
    blob.resize(4 + size);
    return blob;
}

std::string GroupsHead() {
    return WriteTableStream(KMSMFields(), KMSMIndexes(), {});
}

std::string GroupsStream() {
    return WriteTableStream(KMSMFields(), KMSMIndexes(),
                            {{"\xB1\xB1\xBE\xA9", "1"}, {"\xC9\xCF\xBA\xA3", "2"}});
}

std::size_t LineCount(const std::string& stream) {
    std::size_t n = 0;
    for (std::size_t p = stream.find("\r\n"); p != std::string::npos;
         p = stream.find("\r\n", p + 2)) {
        ++n;
    }
    return n;
}

// Loads the groups table from a packed blob the way the start-up loader does; returns the
// error text, empty on success.
std::string LoadGroups(const Bytes& blob, MemTable& table) {
    TableStreamFormat format;
    try {
        LoadTableFromBlob(LoadTable::KMSM, table, format,
                          [&](std::string_view) { return InflateBlob(blob.data(), blob.size()); });
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

// Runs both start-up loaders with the groups blob replaced; the other tables load normally.
struct LoaderRun {
    StoredTables tables;
    LoadFlags flags;
    std::string groupsError;
};

void RunLoaders(const Bytes& groupsBlob, LoaderRun& run) {
    std::map<std::string, std::string> streams = {
        {"SPY", WriteTableStream(KMPyFields(), KMPyIndexes(), {{"\xB1\xB1\xBE\xA9", "BJ"}})},
        {"SLIST", WriteTableStream(KMListFields(), KMListIndexes(), {})},
        {"STRAIN", WriteTableStream(KMTrainFields(), KMTrainIndexes(), {})},
    };
    TimetableLoader::Options options;
    options.source = [&](std::string_view name) -> Bytes {
        std::string key(name);
        for (char& ch : key) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (key == "SM") return InflateBlob(groupsBlob.data(), groupsBlob.size());
        const std::string& s = streams.at(key);
        return Bytes(s.begin(), s.end());
    };
    TimetableLoader loader(run.tables, run.flags, options);
    loader.Start();
    loader.Join();
    run.groupsError = loader.Error(LoadTable::KMSM);
}

TEST(BadTableStreams, TenMegabyteLineGivesTheLineTooLongError) {
    // Varied letters so that the blob's compression ratio stays ordinary.
    std::string longValue(10u << 20, 'x');
    std::uint32_t seed = 12345;
    for (char& c : longValue) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>('a' + (seed >> 16) % 26);
    }
    const std::string head = GroupsHead();
    const std::size_t headLines = LineCount(head);

    struct Case {
        const char* where;
        std::string stream;
        std::size_t line;
    };
    const Case cases[] = {
        {"data line", head + "\"A\",\"1\",\r\n\"" + longValue + "\",\"2\",\r\n", headLines + 2},
        {"header", "\"@@FILE VERSION@@\",\"251\"\r\n" + longValue, 2},
        {"definition", "\"@@TABLEDEF START@@\"\r\n\"" + longValue + "=WideString\"\r\n", 2},
        {"last line without a break", head + longValue, headLines + 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.where);
        MemTable table;
        const std::string error = LoadGroups(Pack(k.stream), table);
        EXPECT_EQ(error, "Line " + std::to_string(k.line) +
                             " of the table stream is longer than 1048576 bytes.");

        LoaderRun run;
        RunLoaders(Pack(k.stream), run);
        EXPECT_NE(run.groupsError.find("longer than 1048576 bytes"), std::string::npos)
            << run.groupsError;
        EXPECT_FALSE(run.flags.Loaded(LoadTable::KMSM));
        EXPECT_EQ(run.tables.KMSM.RecordCount(), 0u);
        // The failure of one table does not stop the others.
        EXPECT_TRUE(run.flags.Loaded(LoadTable::KMPy));
        EXPECT_TRUE(run.flags.Loaded(LoadTable::KMTrain));
    }

    // A line just under the limit is an ordinary value.
    MemTable table;
    const std::string fits(1048576 - 8, 'y');
    EXPECT_EQ(LoadGroups(Pack(head + "\"" + fits + "\",\"1\",\r\n"), table), "");
    ASSERT_EQ(table.RecordCount(), 1u);
    table.First();
    EXPECT_EQ(table.FieldByName("Station").View().size(), fits.size());
}

TEST(BadTableStreams, NoUsableHeaderLeavesTheTableUnloaded) {
    const std::string head = GroupsHead();
    const std::string noHeader = head.substr(0, head.rfind("\"Station\""));
    const std::string cases[] = {
        "",
        noHeader,
        noHeader + "\"Name\",\"Group\",\"Code\",\r\n\"A\",\"1\",\"X\",\r\n",
        std::string(1u << 20, '\0'),
        std::string(1u << 20, '\n'),
    };
    for (const std::string& stream : cases) {
        SCOPED_TRACE(stream.substr(0, 40));
        LoaderRun run;
        RunLoaders(Pack(stream), run);
        EXPECT_NE(run.groupsError.find("Couldnt determine field count for load."),
                  std::string::npos)
            << run.groupsError;
        EXPECT_FALSE(run.flags.Loaded(LoadTable::KMSM));
        EXPECT_EQ(run.tables.KMSM.RecordCount(), 0u);
    }
}

TEST(BadTableStreams, StrayQuotesFollowTheQuotingRules) {
    // A quote toggles quoting wherever it stands; a comma inside quotes is text; an unclosed
    // quote runs to the end of the line and leaves the later fields null.
    const std::string stream = GroupsHead() +
                               "\"ab\"c\"d\",\"1\",\r\n"
                               "\"abc,\"def\",\"2\",\r\n"
                               "x\"y,\"3\",\r\n"
                               "\"\"\"\",\"\",\r\n"
                               "\"%\",,\r\n";
    MemTable table;
    ASSERT_EQ(LoadGroups(Pack(stream), table), "");
    // (station, group) per record in load order; "null" for a null group.
    std::vector<std::pair<std::string, std::string>> rows;
    Field& station = table.FieldByName("Station");
    Field& gp = table.FieldByName("Gp");
    for (std::uint32_t r = 0; r < table.RecordCount(); ++r) {
        const std::string group(gp.ViewAt(r));
        rows.emplace_back(std::string(station.ViewAt(r)), group.empty() ? "null" : group);
    }
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"abcd", "1"},     {"abc,def,2,", "null"},  // the unclosed quote swallowed the group number
        {"xy,3,", "null"}, {"\"", "null"},          // "" in an integer field is null
        {"", "null"},                               // a lone escape character is dropped
    };
    EXPECT_EQ(rows, expected);

    // A stray quote inside a number is no number.
    MemTable bad;
    EXPECT_EQ(LoadGroups(Pack(GroupsHead() + "\"A\",\"1\"\"2\",\r\n"), bad),
              "'1\"2' is not a valid integer value for field 'Gp'");
    EXPECT_EQ(LoadGroups(Pack(GroupsHead() + "\"A\",\"1\" 2,\r\n"), bad),
              "'1 2' is not a valid integer value for field 'Gp'");
}

TEST(BadBlobs, EveryCutAndEveryBitFlipIsRefused) {
    const Bytes good = Pack(GroupsStream());
    MemTable table;
    ASSERT_EQ(LoadGroups(good, table), "");
    ASSERT_EQ(table.RecordCount(), 2u);

    for (std::size_t n = 0; n < good.size(); ++n) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_THROW(InflateBlob(cut.data(), cut.size()), BlobError) << "cut to " << n;
    }
    // A flipped bit is refused, or (in the unused bits that pad the deflate data to a whole
    // byte) changes nothing: damaged data never comes out as a table.
    const std::string original = GroupsStream();
    int refused = 0;
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes flipped = good;
            flipped[i] ^= static_cast<unsigned char>(1u << bit);
            try {
                const Bytes out = InflateBlob(flipped.data(), flipped.size());
                EXPECT_EQ(std::string(out.begin(), out.end()), original)
                    << "byte " << i << " bit " << bit;
            } catch (const BlobError&) {
                ++refused;
            }
        }
    }
    EXPECT_GE(refused, static_cast<int>(good.size() * 8) - 7);

    // Through the loader: the damaged table is reported and left empty.
    Bytes damaged = good;
    damaged[good.size() / 2] ^= 0x40;
    LoaderRun run;
    RunLoaders(damaged, run);
    EXPECT_FALSE(run.groupsError.empty());
    EXPECT_FALSE(run.flags.Loaded(LoadTable::KMSM));
    EXPECT_EQ(run.tables.KMSM.RecordCount(), 0u);
}

TEST(BadBlobs, DeclaredLengthsThatDoNotFitAreRefusedBeforeAllocating) {
    const std::string text = GroupsStream();
    Bytes blob = Pack(text);
    const std::uint32_t lengths[] = {0u,
                                     static_cast<std::uint32_t>(text.size() - 1),
                                     static_cast<std::uint32_t>(text.size() + 1),
                                     256u << 20,
                                     (256u << 20) + 1,
                                     0xFFFFFFFFu};
    for (std::uint32_t n : lengths) {
        for (int i = 0; i < 4; ++i) blob[i] = static_cast<unsigned char>(n >> (8 * i));
        EXPECT_THROW(InflateBlob(blob.data(), blob.size()), BlobError) << n;
    }
}

}  // namespace
}  // namespace korvel
