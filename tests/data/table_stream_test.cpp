#include "data/table_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "data/schema.h"
#include "data/table_stream_parse.h"

namespace korvel {
namespace {

const char* const kSmDefs =
    "\"@@FILE VERSION@@\",\"251\"\r\n"
    "\"@@TABLEDEF START@@\"\r\n"
    "\"Station=WideString,20,\"\"Station\"\",\"\"\"\",20,Data,\"\"\"\"\"\r\n"
    "\"Gp=Integer,0,\"\"Gp\"\",\"\"\"\",10,Data,\"\"\"\"\"\r\n"
    "\"@@INDEXDEF START@@\"\r\n"
    "\"SStation=\"\"Station\"\",\"\"SStation\"\",UNIQ\"\r\n"
    "\"SGp=\"\"Gp\"\",\"\"SGp\"\"\"\r\n"
    "\"@@INDEXDEF END@@\"\r\n"
    "\"@@TABLEDEF END@@\"\r\n";

MemTable Load(const std::string& stream) {
    MemTable t;
    TableStreamFormat f;
    LoadFromTableStream(t, stream, &f);
    return t;
}

std::string LoadError(const std::string& stream) {
    MemTable t;
    TableStreamFormat f;
    try {
        LoadFromTableStream(t, stream, &f);
    } catch (const TableStreamError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(TableStreamReader, LoadsDefinitionsHeaderAndRows) {
    MemTable t = Load(std::string(kSmDefs) +
                      "\"Station\",\"Gp\",\r\n\"\xB0\xB2\xC7\xEC\",\"1\",\r\n\"B\",\"2\",\r\n");
    ASSERT_EQ(t.Fields().size(), 2u);
    EXPECT_EQ(t.Fields()[0].name, "Station");
    EXPECT_EQ(t.Fields()[0].size, 20);
    EXPECT_EQ(t.Fields()[0].kind, "Data");
    EXPECT_EQ(t.Fields()[1].type, FieldType::Integer);
    ASSERT_EQ(t.Indexes().size(), 2u);
    EXPECT_TRUE(t.Indexes()[0].unique);
    EXPECT_FALSE(t.Indexes()[1].unique);
    EXPECT_EQ(t.Indexes()[1].indexName, "SGp");
    ASSERT_EQ(t.RecordCount(), 2u);  // the header's trailing comma adds no column
    t.First();
    EXPECT_EQ(t.FieldByName("Station").View(), "\xB0\xB2\xC7\xEC");
    EXPECT_EQ(t.FieldByName("gp").AsInteger(), 1);
    EXPECT_EQ(t.IndexName(), "");  // load order until the caller selects an index
}

TEST(TableStreamReader, AnyVersionValueLoadsAlike) {
    std::string other = kSmDefs;
    other.replace(other.find("251"), 3, "7");
    const std::string body = "\"Station\",\"Gp\",\r\n\"A\",\"1\",\r\n";
    EXPECT_EQ(Load(other + body).RecordCount(), 1u);
    EXPECT_EQ(Load(std::string(kSmDefs) + body).RecordCount(), 1u);
}

TEST(TableStreamReader, EmptyAndMissingValues) {
    MemTable t = Load(std::string(kSmDefs) +
                      "\"Station\",\"Gp\",\r\n"
                      "\"\",\"\",\r\n"                  // empty quoted: empty text, null integer
                      ",,\r\n"                          // empty unquoted likewise
                      "\"C\",\r\n"                      // fewer values than columns
                      "\"D\",\"4\",\"x\",\"y\",\r\n");  // surplus ignored
    ASSERT_EQ(t.RecordCount(), 4u);
    Field& st = t.FieldByName("Station");
    Field& gp = t.FieldByName("Gp");
    t.First();
    EXPECT_EQ(st.View(), "");
    EXPECT_TRUE(gp.IsNull());
    EXPECT_EQ(gp.AsInteger(), 0);
    EXPECT_EQ(gp.View(), "");
    t.Next();
    EXPECT_TRUE(gp.IsNull());
    t.Next();
    EXPECT_EQ(st.View(), "C");
    EXPECT_TRUE(gp.IsNull());
    t.Next();
    EXPECT_EQ(st.View(), "D");
    EXPECT_EQ(gp.AsInteger(), 4);
}

TEST(TableStreamReader, ElevenValueStopLine) {
    MemTable t;
    TableStreamFormat f;
    const std::string stream =
        WriteTableStream(KMTrainFields(), KMTrainIndexes(), {}) +
        "\"1043\",\"\xCE\xF7\xB0\xB2\",\"1\",\"\",\"21:25\",\"0\",\"0\",\"\",\"\",\"\",\"\",\r\n";
    LoadFromTableStream(t, stream, &f);
    ASSERT_EQ(t.RecordCount(), 1u);
    t.First();
    EXPECT_EQ(t.FieldByName("ID").View(), "1043");
    EXPECT_EQ(t.FieldByName("S_No").AsInteger(), 1);
    EXPECT_EQ(t.FieldByName("A_time").View(), "");
    EXPECT_EQ(t.FieldByName("D_time").View(), "21:25");
    EXPECT_EQ(t.FieldByName("R_Date").View(), "0");
    EXPECT_FALSE(t.FieldByName("Distance").IsNull());
    EXPECT_EQ(t.FieldByName("P4").View(), "");
}

TEST(TableStreamReader, QuotingAndEscapes) {
    MemTable t = Load(std::string(kSmDefs) +
                      "\"Station\",\"Gp\",\r\n"
                      "\"a\"\"b\",\"1\",\r\n"
                      "\"x%%y\",\"2\",\r\n"
                      "ab\"c,d\"e,3,\r\n"  // quoting may cover part of a word
                      "\"p%0q%cr%ns\",4,\r\n"
                      "\"end%\",5,\r\n"
                      "\"%z\",6,\r\n"
                      "\"\xCB\xBC\xF8\xB3\",7,\r\n");
    Field& st = t.FieldByName("Station");
    t.First();
    EXPECT_EQ(st.View(), "a\"b");
    t.Next();
    EXPECT_EQ(st.View(), "x%y");
    t.Next();
    EXPECT_EQ(st.View(), "abc,de");
    EXPECT_EQ(t.FieldByName("Gp").AsInteger(), 3);
    t.Next();
    EXPECT_EQ(st.View(), std::string("p\0q\rr\ns", 7));
    t.Next();
    EXPECT_EQ(st.View(), "end");  // a trailing escape character is dropped
    t.Next();
    EXPECT_EQ(st.View(), "%z");  // unknown escapes are kept as written
    t.Next();
    EXPECT_EQ(st.View(), "\xCB\xBC\xF8\xB3");
}

TEST(TableStreamReader, LastValueWithoutCommaIsKept) {
    MemTable t = Load(std::string(kSmDefs) + "\"Station\",\"Gp\"\r\n\"A\",5\r\n\"B\",\"6\"");
    ASSERT_EQ(t.RecordCount(), 2u);
    t.First();
    EXPECT_EQ(t.FieldByName("Gp").AsInteger(), 5);
    t.Next();
    EXPECT_EQ(t.FieldByName("Gp").AsInteger(), 6);
}

// A line's values as text, or the error its reading gives: what a record holds.
std::string ReadValues(stream_detail::RecordReader& reader, std::string_view line,
                       const stream_detail::LineScan& scan, std::size_t fields) {
    std::string out;
    try {
        reader.Read(line, scan);
    } catch (const TableStreamError& e) {
        return std::string("error ") + e.what();
    }
    const MemTable::RecordValue* v = reader.Values();
    for (std::size_t i = 0; i < fields; ++i) {
        out += v[i].set ? "[" + std::string(v[i].text) + "|" + std::to_string(v[i].integer) + "]"
                        : "-";
    }
    return out;
}

// Lines close to the writer's form, and lines that only look like it: every line is read
// with its scan (slicing at the quotes where it can) and word by word, and both must give
// the same values and errors; the scan must agree with the line reader about the line.
TEST(TableStreamReader, SlicedLinesReadAsWordByWord) {
    using namespace stream_detail;
    std::vector<FieldDef> fields(3);
    fields[0].label = "A";
    fields[1].label = "N";
    fields[1].type = FieldType::SmallInt;
    fields[2].label = "C";
    // A skipped header word, and a field named twice: the later word wins.
    std::vector<LoadColumn> columns(5);
    columns[0] = {0, true, {0, 0}};
    columns[2] = {1, false, {-32768, 32767}};
    columns[3] = {2, true, {0, 0}};
    columns[4] = {0, true, {0, 0}};
    TableStreamFormat f;
    const char* const pieces[] = {
        "\"G1\",",
        "\"\",",
        "\"\xB1\xB1\xBE\xA9\xC4\xCF\",",
        "\"12\",",
        "\"-5\",",
        "\"+7\",",
        "\"40000\",",
        "\"1x\",",
        "\"a\"\"b\",",
        "\"x%ny\",",
        "\"%%\",",
        "\"p\",\"q\",",
        "\",\",",
        "\"\"\"\",",
        "7,",
        "ab\"c,d\"e,",
        "\"open",
        "\"q\"z,",
        "\"end\"",
        ",",
        "\"",
        "%",
        "\xB0\xA1",
        "\"0123456789abcdef0123456789\",",
        "\"\xB0\x22\",",
    };
    std::uint32_t seed = 12345;
    auto next = [&](std::uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    RecordReader sliced(fields, f, columns);
    RecordReader byWord(fields, f, columns);
    // A word ending at each place around the scan's 64-byte words, followed by what may or
    // may not continue the writer's form there.
    std::vector<std::string> lines;
    for (std::size_t length = 55; length < 140; ++length) {
        for (const char* rest : {",\"y\",", "z\"y\",", ",", "", "\"y\",", "\"\"y\",", ",y,"}) {
            lines.push_back("\"" + std::string(length, 'x') + "\"" + rest);
            lines.push_back("\"1\",\"" + std::string(length - 4, 'x') + "\"" + rest);
        }
    }
    // Mostly the writer's own form, sometimes long enough to pass the scan's reach, and now
    // and then nothing else.
    for (int round = 0; round < 20000; ++round) {
        std::string& line = lines.emplace_back();
        const std::uint32_t count = 1 + next(round % 10 == 0 ? 40 : 8);
        const bool onlyWriterForm = next(4) == 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const bool any = !onlyWriterForm && next(4) == 0;
            line += pieces[any ? next(std::size(pieces)) : next(7)];
        }
    }
    LineScan scan;  // reused, as the record loop does
    int inWriterForm = 0;
    for (const std::string& line : lines) {
        const bool atEnd = next(2) == 0;
        const std::string text = std::string(next(3), '\n') + line + (atEnd ? "" : "\r\n\"z\",");
        std::size_t pos = 0;
        std::size_t pos2 = 0;
        std::string_view got;
        std::string_view want;
        ASSERT_EQ(LineScanner(f).Next(text, pos, got, scan), LineRead::Line);
        ASSERT_EQ(NextLine(text, pos2, f.maxLineBytes, want), LineRead::Line);
        ASSERT_EQ(got, want);
        ASSERT_EQ(got, line);
        ASSERT_EQ(pos, pos2);
        ASSERT_EQ(scan.escapes, line.find('%') != std::string::npos) << line;
        ASSERT_TRUE(scan.bitsKnown || line.size() >= LineScan::kBytes) << line.size();
        if (scan.bitsKnown) {
            for (std::size_t i = 0; i < line.size(); ++i) {
                ASSERT_EQ((scan.quotes[i / 64] >> (i % 64)) & 1, line[i] == '"') << line << i;
                ASSERT_EQ((scan.delimiters[i / 64] >> (i % 64)) & 1, line[i] == ',') << line << i;
            }
        }
        inWriterForm += scan.WriterForm(line.size()) ? 1 : 0;
        LineScan wordByWord = scan;
        wordByWord.bitsKnown = false;
        ASSERT_EQ(ReadValues(sliced, got, scan, fields.size()),
                  ReadValues(byWord, got, wordByWord, fields.size()))
            << line;
    }
    EXPECT_GT(inWriterForm, 5000);  // the writer's own lines are sliced
}

TEST(TableStreamReader, HeaderMatchesDisplayNamesAndSkipsUnknownWords) {
    MemTable t =
        Load(std::string(kSmDefs) + "\"gP\",\"Extra\",\"STATION\",\r\n\"9\",\"zz\",\"Q\",\r\n");
    t.First();
    EXPECT_EQ(t.FieldByName("Station").View(), "Q");
    EXPECT_EQ(t.FieldByName("Gp").AsInteger(), 9);
}

TEST(TableStreamReader, LineBreakRunsAndChunkBoundaries) {
    // Lines separated by runs of CR, LF and NUL; a long value crosses several 128-byte reads;
    // the last line has no line break.
    const std::string longName(300, 'L');
    std::string stream = std::string(kSmDefs) + "\"Station\",\"Gp\",\r\n\r\n\n";
    stream += std::string("\0\0\r", 3);
    stream += "\"" + longName + "\",\"1\",\n\r\r";
    stream += std::string("\"B\",\"2\",\0\n", 10);
    stream += "\"C\",\"3\",";
    for (std::size_t pad = 0; pad < 130; ++pad) {
        // Shift the layout so every break position meets a chunk edge once.
        const std::string shifted = std::string(pad, '\n') + stream;
        MemTable t = Load(shifted);
        ASSERT_EQ(t.RecordCount(), 3u) << pad;
        Field& st = t.FieldByName("Station");
        t.First();
        EXPECT_EQ(st.View(), longName);
        t.Last();
        EXPECT_EQ(st.View(), "C");
        EXPECT_EQ(t.FieldByName("Gp").AsInteger(), 3);
    }
}

TEST(TableStreamReader, ErrorTexts) {
    MemTable t;
    EXPECT_THROW(
        {
            try {
                LoadFromTableStream(t, "x", nullptr);
            } catch (const TableStreamError& e) {
                EXPECT_STREQ(e.what(), "No format specified.");
                throw;
            }
        },
        TableStreamError);

    EXPECT_EQ(LoadError("\"@@TABLEDEF START@@\"\r\n\"X=Bogus,1,\"\"X\"\"\"\r\n"
                        "\"@@TABLEDEF END@@\"\r\n\"X\",\r\n"),
              "Unknown field type (Bogus) in CSV file. (\"X=Bogus,1,\"\"X\"\"\")");
    EXPECT_EQ(LoadError(std::string(kSmDefs) + "\"Station\",\"Gp\",\r\n\"A\",\"1x\",\r\n"),
              "'1x' is not a valid integer value for field 'Gp'");
    EXPECT_EQ(LoadError(std::string(kSmDefs) + "\"Station\",\"Gp\",\r\n\"A\",\"2147483648\",\r\n"),
              "'2147483648' is not a valid integer value for field 'Gp'");
    EXPECT_EQ(LoadError(std::string(kSmDefs)), "Couldnt determine field count for load.");
    EXPECT_EQ(LoadError(""), "Couldnt determine field count for load.");
    EXPECT_EQ(LoadError(std::string(kSmDefs) + "\"Nothing\",\"Known\",\r\n\"1\",\"2\",\r\n"),
              "Couldnt determine field count for load.");
    // A known database type that a memory table cannot hold is refused, not mis-read.
    EXPECT_EQ(LoadError("\"@@TABLEDEF START@@\"\r\n\"F=Float,0,\"\"F\"\"\"\r\n"
                        "\"@@TABLEDEF END@@\"\r\n\"F\",\r\n\"1.5\",\r\n"),
              "Unsupported field type (Float) in CSV file. (\"F=Float,0,\"\"F\"\"\")");
}

TEST(TableStreamReader, SmallIntMustFitSixteenBits) {
    const std::string head = WriteTableStream(KMListFields(), {}, {});
    MemTable t;
    TableStreamFormat f;
    LoadFromTableStream(t, head + "\"A\",\"-32768\",\r\n\"B\",\"32767\",\r\n", &f);
    t.Last();
    EXPECT_EQ(t.FieldByName("NType").AsInteger(), 32767);
    EXPECT_EQ(LoadError(head + "\"A\",\"32768\",\r\n"),
              "'32768' is not a valid integer value for field 'NType'");
}

TEST(TableStreamReader, OverlongLineIsRefused) {
    MemTable t;
    TableStreamFormat f;
    f.maxLineBytes = 1000;
    const std::string stream =
        std::string(kSmDefs) + "\"Station\",\"Gp\",\r\n\"" + std::string(5000, 'x') + "\",1,\r\n";
    EXPECT_THROW(LoadFromTableStream(t, stream, &f), TableStreamError);
}

TEST(TableStreamReader, FieldDefinitionPartCounts) {
    // Six parts: the sixth is the kind. Seven: kind then default. Two: label from the name.
    MemTable t = Load(
        "\"@@TABLEDEF START@@\"\r\n"
        "\"A=WideString,5,\"\"La\"\",\"\"\"\",7,Calculated\"\r\n"
        "\"B=Integer,0,\"\"Lb\"\",\"\"\"\",3,Lookup,\"\"d,ef\"\"\"\r\n"
        "\"C=WideString,9\"\r\n"
        "\"@@INDEXDEF START@@\"\r\n\"@@INDEXDEF END@@\"\r\n\"@@TABLEDEF END@@\"\r\n"
        "\"La\",\"Lb\",\"C\",\r\n\"1\",\"2\",\"3\",\r\n");
    const auto& fs = t.Fields();
    ASSERT_EQ(fs.size(), 3u);
    EXPECT_EQ(fs[0].label, "La");
    EXPECT_EQ(fs[0].width, 7);
    EXPECT_EQ(fs[0].kind, "Calculated");
    EXPECT_EQ(fs[1].kind, "Lookup");
    EXPECT_EQ(fs[1].defaultExpr, "d,ef");
    EXPECT_EQ(fs[2].label, "C");
    EXPECT_EQ(fs[2].kind, "Data");
    t.First();
    EXPECT_EQ(t.FieldByName("C").View(), "3");
}

TEST(TableStreamWriter, WritesTheExactFormat) {
    const std::string s = WriteTableStream(KMSMFields(), KMSMIndexes(), {{"A", "1"}, {"B", ""}});
    EXPECT_EQ(s,
              "\"@@FILE VERSION@@\",\"251\"\r\n"
              "\"@@TABLEDEF START@@\"\r\n"
              "\"Station=WideString,20,\"\"Station\"\",\"\"\"\",20,Data,\"\"\"\"\"\r\n"
              "\"Gp=Integer,0,\"\"Gp\"\",\"\"\"\",10,Data,\"\"\"\"\"\r\n"
              "\"@@INDEXDEF START@@\"\r\n"
              "\"SStation=\"\"Station\"\",\"\"SStation\"\",UNIQ\"\r\n"
              "\"SGp=\"\"Gp\"\",\"\"SGp\"\"\"\r\n"
              "\"@@INDEXDEF END@@\"\r\n"
              "\"@@TABLEDEF END@@\"\r\n"
              "\"Station\",\"Gp\",\r\n"
              "\"A\",\"1\",\r\n"
              "\"B\",\"\",\r\n");
    const std::string train = WriteTableStream(KMTrainFields(), KMTrainIndexes(), {});
    EXPECT_NE(train.find("\"SIDNo=\"\"ID;S_No\"\",\"\"SIDNo\"\",UNIQ\"\r\n"), std::string::npos);
}

TEST(TableStreamWriter, RoundTripsAwkwardBytes) {
    const std::vector<std::string> texts = {"",
                                            "%",
                                            "%%",
                                            "50%0",
                                            "a\"b",
                                            "\"\"",
                                            ",",
                                            "x,\"y\",",
                                            std::string("n\0l", 3),
                                            "cr\rlf\nboth\r\n",
                                            "\xCB\xBC\xF8\xB3",
                                            std::string(400, 'w') + "%n"};
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < texts.size(); ++i) rows.push_back({texts[i], std::to_string(i)});
    MemTable t = Load(WriteTableStream(KMSMFields(), KMSMIndexes(), rows));
    ASSERT_EQ(t.RecordCount(), texts.size());
    std::size_t i = 0;
    for (t.First(); !t.Eof(); t.Next(), ++i) {
        EXPECT_EQ(t.FieldByName("Station").AsString(), texts[i]) << i;
        EXPECT_EQ(t.FieldByName("Gp").AsInteger(), static_cast<int>(i));
    }
    EXPECT_EQ(i, texts.size());
}

TEST(TableStreamReader, FormatObjectCanBeReused) {
    // The parse state lives in the format object; a reused object starts afresh.
    TableStreamFormat f;
    MemTable a;
    MemTable b;
    LoadFromTableStream(a, WriteTableStream(KMSMFields(), KMSMIndexes(), {{"A", "1"}}), &f);
    LoadFromTableStream(b, WriteTableStream(KMPyFields(), KMPyIndexes(), {{"B", "X"}, {"C", "Y"}}),
                        &f);
    EXPECT_EQ(a.RecordCount(), 1u);
    EXPECT_EQ(b.RecordCount(), 2u);
    b.Last();
    EXPECT_EQ(b.FieldByName("SHORTCODE").View(), "Y");
}

}  // namespace
}  // namespace korvel
