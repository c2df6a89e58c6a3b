// The table stream: the line-oriented text format of the embedded tables, and its reader
// and writer.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "data/memtable.h"

namespace korvel {

// Load failures: unknown field type, bad integer, no header, no settings, overlong line.
class TableStreamError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reader settings plus the reader's parse state. Two loads that run at the same time must
// use two objects.
struct TableStreamFormat {
    char quote = '"';
    char fieldDelimiter = ',';
    char recordDelimiter = ',';
    char escape = '%';
    std::string trueText = "True";
    std::string falseText = "False";
    int defaultTextSize = 255;
    bool loadFieldDefs = true;
    bool loadIndexDefs = true;
    bool loadData = true;
    bool loadInvisible = true;
    bool loadKinds = true;
    // A single line longer than this is refused instead of growing without bound.
    std::size_t maxLineBytes = 1u << 20;

    // --- parse state (owned by the reader) ---
    std::size_t position = 0;  // read position in the stream (lines are parsed in place)
    std::string word;          // a definition or header word being assembled
    std::size_t lineNumber = 0;
    // What the header line loaded, for callers that insist on every field: one flag per
    // field (true when a header word names it), the header words that name no field, and
    // the header's line number (counting non-empty lines, as lineNumber does).
    std::vector<bool> fieldLoaded;
    std::size_t skippedColumns = 0;
    std::size_t headerLine = 0;
};

// A second thread's help with the records of a big table stream. The loading thread passes
// the helper to LoadFromTableStream, which splits the records at a line break near their
// middle and offers the second half; another thread, once it has nothing else to do, calls
// Serve() and reads what is offered until the loading thread calls Close(). A half that no
// thread has started when the loading thread is through with the first is read by the loading
// thread itself, so an idle helper costs only the split. The two halves seldom take equally
// long (their lines differ, and so do the processors' speeds from moment to moment): the
// thread that finishes first without an error takes over the later half of what the other has
// not reached yet, once, as a third piece. Either way the table, the error and the reader's
// state are exactly those of one thread reading the whole stream.
class TableStreamHelper {
  public:
    // Records shorter than this (bytes of text) are read whole by the loading thread.
    std::size_t minSplitBytes = 64 * 1024;
    // For tests: split at the first line break at or after this offset of the stream
    // (0: near the middle of the records), whatever their length.
    std::size_t splitAt = 0;
    // For tests: the stretch from the first line break at or after this offset to the end of
    // the half it lies in is taken over by the other half's thread, whatever their timing
    // (0: only a half still being read is taken from, when the other finishes first).
    std::size_t takeOverAt = 0;

    // The helping thread: runs each offered job until Close() has been called.
    void Serve();
    // The loading thread: no more jobs; a Serve() that is waiting returns.
    void Close();

    // Used by the reader. Offer hands over a job that must not throw; TakeBack withdraws it
    // when no thread has started it (true), or else waits until it is done (false).
    void Offer(std::function<void()> job);
    bool TakeBack();

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    bool running_ = false;
    bool closed_ = false;
};

// Sees each record as the reader appends it, while its values are still at hand, so that a
// reader that wants them in another form needs no second pass over the table. A record is seen
// once its whole line has been read, whatever happens to the load afterwards.
class RecordObserver {
  public:
    virtual ~RecordObserver() = default;
    // Before the first record of its piece, with the table's fields and where in the stream
    // the piece begins (pieces in the order of these offsets are in stream order).
    virtual void Begin(const std::vector<FieldDef>& fields, std::size_t offset) = 0;
    // One value per field, in field order, as MemTable::AppendRecord takes them.
    virtual void Record(const MemTable::RecordValue* values) = 0;
    // After the piece's first few records: about how many more records the piece holds (as the
    // table is told), and how many the whole stream holds after this point.
    virtual void Reserve(std::size_t inPiece, std::size_t inStream) {
        (void)inPiece;
        (void)inStream;
    }
};

// The observers of a stream's records: `first` sees them from the start, `second` those after
// the split when two threads read them (see TableStreamHelper), and `third` those of the
// stretch one thread took over from the other, which lies after the second's records or
// between the first's and the second's. Each is called only by the thread that reads its
// piece; any may be null.
struct RecordObservers {
    RecordObserver* first = nullptr;
    RecordObserver* second = nullptr;
    RecordObserver* third = nullptr;
};

// Replaces the table's definitions and records with the stream's and builds every index.
// Throws TableStreamError (nullptr format: "No format specified."). With a helper the records
// may be read by two threads (see TableStreamHelper). With `streamOwner`, which keeps `stream`
// alive, every record is read, checked and observed now, but the table makes its records only
// when something first reads them (MemTable::DeferRecords): for a big table that its observers
// have read in another form already. A failed load then leaves the table without records.
void LoadFromTableStream(MemTable& table, std::string_view stream, TableStreamFormat* format,
                         TableStreamHelper* helper = nullptr, RecordObservers observers = {},
                         std::shared_ptr<const void> streamOwner = nullptr);

// Appends one value as the writer quotes it (doubled quotes, '%' escapes for CR, LF, NUL and
// '%' itself), without the comma that follows it.
void AppendTableStreamValue(std::string& out, std::string_view text);

// Writes a complete table stream (CR LF line ends). Each row holds one text per field, in
// field order: integers as decimal text, empty text for null. '%', CR, LF and NUL in values
// are escaped so that the reader gives the same bytes back.
std::string WriteTableStream(const std::vector<FieldDef>& fields,
                             const std::vector<IndexDef>& indexes,
                             const std::vector<std::vector<std::string>>& rows);

}  // namespace korvel
