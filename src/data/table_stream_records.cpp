// The records of a table stream: every line after the header is one record. A big stream's
// records may be read in two halves by two threads; the halves are split at a line break, so
// no line is cut, and joined in stream order afterwards.
#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

#include "data/table_stream_parse.h"

namespace korvel {

void TableStreamHelper::Serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // The helper looks for a job every 100 microseconds rather than being woken for it:
        // a thread woken by the loading thread tends to be started on the loading thread's
        // own processor and to share it for milliseconds, until the scheduler moves one of
        // them to the idle one; a thread that wakes by itself stays where it slept.
        while (job_ == nullptr && !closed_) changed_.wait_for(lock, std::chrono::microseconds(100));
        if (job_ == nullptr) return;
        std::function<void()> job = std::move(job_);
        job_ = nullptr;
        running_ = true;
        lock.unlock();
        try {
            job();
        } catch (...) {
            // Jobs keep their own errors; nothing may leave the loader waiting for ever.
        }
        lock.lock();
        running_ = false;
        changed_.notify_all();
    }
}

void TableStreamHelper::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

void TableStreamHelper::Offer(std::function<void()> job) {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = std::move(job);  // no wake-up: see Serve
}

bool TableStreamHelper::TakeBack() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (job_ != nullptr) {
        job_ = nullptr;
        return true;
    }
    changed_.wait(lock, [&] { return !running_; });
    return false;
}

namespace stream_detail {

RecordReader::RecordReader(const std::vector<FieldDef>& fields, const TableStreamFormat& f,
                           const std::vector<LoadColumn>& columns)
    : fields_(fields),
      f_(f),
      columns_(columns),
      sliceable_(f.quote != f.fieldDelimiter && f.quote != f.recordDelimiter),
      record_(fields.size()),
      scratch_(fields.size() + 1) {}

namespace {

[[noreturn, gnu::noinline, gnu::cold]] void BadInteger(std::string_view word,
                                                       const FieldDef& field) {
    throw TableStreamError(
        Format2("'%s' is not a valid integer value for field '%s'", word, field.label));
}

}  // namespace

[[gnu::always_inline]] inline void RecordReader::Take(const LoadColumn& c, std::string_view word,
                                                      bool escapes) {
    if (c.column == kNoColumn) return;
    MemTable::RecordValue& v = record_[c.column];
    if (c.text) {
        if (escapes && word.find(f_.escape) != std::string_view::npos) {
            // Unescaped in the field's own string (where a word that needed assembling is).
            std::string& own = scratch_[c.column];
            if (word.data() != own.data()) own.assign(word);
            Unescape(own, f_.escape);
            word = own;
        }
        v.text = word;
        v.set = true;
    } else if (!word.empty()) {
        if (!ParseInteger(word, c.range, v.integer)) BadInteger(word, fields_[c.column]);
        v.set = true;
    }
}

namespace {

// Takes the words of a line in the writer's form (see LineScan::WriterForm) into `record`:
// each word is the bytes between the next two quotes. Kept apart from the general reading so
// that its few values stay in registers.
[[gnu::noinline]] void SliceQuoted(const char* p, std::size_t size, const LineScan& scan,
                                   const LoadColumn* columns, std::size_t count,
                                   MemTable::RecordValue* record, const FieldDef* fields) {
    const std::size_t lastWord = (size - 1) >> 6;
    std::size_t base = 0;
    std::uint64_t bits = scan.quotes[0];
    for (std::size_t j = 0; j < count; ++j) {
        while (bits == 0) {
            base += 64;
            if (base > lastWord * 64) return;  // no word left: the rest stay unset
            bits = scan.quotes[base >> 6];
        }
        const std::size_t open = base + static_cast<std::size_t>(__builtin_ctzll(bits));
        bits &= bits - 1;
        while (bits == 0) {
            base += 64;
            bits = scan.quotes[base >> 6];
        }
        const std::size_t close = base + static_cast<std::size_t>(__builtin_ctzll(bits));
        bits &= bits - 1;
        const LoadColumn& c = columns[j];
        if (c.column == kNoColumn) continue;
        MemTable::RecordValue& v = record[c.column];
        const std::string_view word(p + open + 1, close - open - 1);
        if (c.text) {
            v.text = word;
            v.set = true;
        } else if (!word.empty()) {
            if (!ParseInteger(word, c.range, v.integer)) BadInteger(word, fields[c.column]);
            v.set = true;
        }
    }
}

}  // namespace

void RecordReader::Read(std::string_view line, const LineScan& scan) {
    for (MemTable::RecordValue& v : record_) v.set = false;
    const bool escapes = scan.escapes;
    const LoadColumn* c = columns_.data();
    const LoadColumn* const end = c + columns_.size();
    std::size_t at = 0;
    if (sliceable_ && !escapes && scan.WriterForm(line.size())) {
        SliceQuoted(line.data(), line.size(), scan, c, columns_.size(), record_.data(),
                    fields_.data());
        return;
    }
    for (; c != end; ++c) {
        std::string& own = c->column == kNoColumn ? scratch_.back() : scratch_[c->column];
        std::string_view word;
        if (!TakeWord(line, at, f_, own, word)) break;
        Take(*c, word, escapes);
    }
}

namespace {

// One stretch of the records, [begin, end) of the stream, and where its reading stopped.
// The two halves' pieces are written by two threads: each has a cache line of its own.
struct alignas(64) Piece {
    std::size_t begin = 0;
    std::size_t end = 0;        // just after a line break, or the end of the stream
    std::size_t lines = 0;      // lines read, the one that failed included unless too long
    std::size_t position = 0;   // read position where it stopped, as one reader leaves it
    std::size_t afterLine = 0;  // read position just after its last line read
    bool tooLong = false;       // stopped at a line longer than the format allows
    std::exception_ptr error;   // stopped at a bad value (or anything else that was thrown)
    bool Stopped() const { return tooLong || error != nullptr; }
};

// Reads the piece's lines into `table` until its end or the first error. Records are appended
// only when their whole line parsed. After a few records the columns are sized at the same
// bytes per record up to `reserveEnd`, so that they do not grow (and copy) step by step.
void ReadPiece(MemTable& table, std::string_view stream, Piece& piece, std::size_t reserveEnd,
               const TableStreamFormat& f, const std::vector<LoadColumn>& columns,
               RecordObserver* observer) noexcept {
    constexpr std::size_t kSampleRecords = 64;
    const std::string_view text = stream.substr(0, piece.end);
    // Counted in locals and stored at the end: the other thread's piece may be close by.
    std::size_t pos = piece.begin;
    std::size_t lines = 0;
    std::size_t afterLine = piece.begin;
    try {
        RecordReader reader(table.Fields(), f, columns);
        const LineScanner scanner(f);
        std::string_view line;
        LineScan scan;
        if (observer != nullptr) observer->Begin(table.Fields());
        for (;;) {
            const LineRead read = scanner.Next(text, pos, line, scan);
            if (read == LineRead::End) break;
            if (read == LineRead::TooLong) {
                piece.tooLong = true;
                break;
            }
            ++lines;
            afterLine = pos;
            reader.Read(line, scan);
            const MemTable::RecordValue* record = reader.Values();
            table.AppendRecord(record);
            if (observer != nullptr) observer->Record(record);
            if (lines == kSampleRecords && pos > piece.begin) {
                const std::size_t bytesPerRecord = (pos - piece.begin) / lines + 1;
                const auto guess = [&](std::size_t bytes) {
                    return bytes / bytesPerRecord * 5 / 4 + 16;
                };
                table.ReserveRecords(guess(reserveEnd - pos));
                if (observer != nullptr)
                    observer->Reserve(guess(reserveEnd - pos), guess(stream.size() - pos));
            }
        }
    } catch (...) {
        piece.error = std::current_exception();
    }
    piece.lines = lines;
    piece.afterLine = afterLine;
    piece.position = pos;
}

// Where the records are split: just after the first line break at or after the middle of the
// records (or the helper's test offset). The stream's size when they are not split.
std::size_t SplitPoint(std::string_view stream, std::size_t dataStart,
                       const TableStreamHelper& helper) {
    const std::size_t size = stream.size();
    std::size_t from = helper.splitAt;
    if (from == 0) {
        if (size - dataStart < helper.minSplitBytes) return size;
        from = dataStart + (size - dataStart) / 2;
    }
    from = std::max(from, dataStart);
    if (from >= size) return size;
    const std::size_t lineBreak = FindBreak(stream.data(), from, size);
    return lineBreak < size ? lineBreak + 1 : size;
}

}  // namespace

void ReadRecords(MemTable& table, std::string_view stream, std::size_t dataStart,
                 std::size_t headerLines, TableStreamFormat& f,
                 const std::vector<LoadColumn>& columns, TableStreamHelper* helper,
                 RecordObservers observers) {
    Piece first;
    first.begin = dataStart;
    first.end = helper != nullptr ? SplitPoint(stream, dataStart, *helper) : stream.size();
    Piece second;
    second.begin = first.end;
    second.end = stream.size();

    const bool split = first.end < stream.size();
    MemTable part;
    const std::vector<FieldDef> fields = split ? table.Fields() : std::vector<FieldDef>();
    // Each thread also finds whether the records it read are in each index's order, while
    // they are in its cache, so that the index need not walk them all again (see
    // MemTable::NoteOrderedHalves).
    const std::vector<IndexDef>& indexes = table.Indexes();
    const auto inOrder = [&indexes](const MemTable& t, std::vector<bool>& ordered) noexcept {
        try {
            for (const IndexDef& def : indexes) ordered.push_back(t.InOrderOf(def));
        } catch (...) {
            ordered.clear();  // the index walks the records itself
        }
    };
    std::vector<bool> firstOrdered;
    std::vector<bool> secondOrdered;
    // The half's table is defined where it is read, so that its memory is that thread's.
    auto readSecond = [&] {
        try {
            part.Define(fields, {});
        } catch (...) {
            second.error = std::current_exception();
            return;
        }
        ReadPiece(part, stream, second, second.end, f, columns, observers.second);
        if (!second.Stopped()) inOrder(part, secondOrdered);
    };
    if (split) helper->Offer(readSecond);
    // The first half goes straight into the table; the second is adopted by it afterwards.
    ReadPiece(table, stream, first, first.end, f, columns, observers.first);
    if (split && !first.Stopped()) inOrder(table, firstOrdered);
    bool secondRead = false;
    if (split) {
        const bool untouched = helper->TakeBack();
        if (untouched && !first.Stopped()) readSecond();
        secondRead = !untouched || !first.Stopped();
    }

    // The first error in stream order is the one reported, after the records before it, with
    // the reader left where one thread reading everything would have stopped.
    const Piece* last = &first;
    const std::uint32_t firstRecords = table.RecordCount();
    if (secondRead && !first.Stopped()) {
        table.AdoptRecords(std::move(part));
        last = &second;
    }
    f.position = last->position;
    // A line too long right at the start of the second half: one reader would still be just
    // after the first half's last line.
    if (last == &second && second.tooLong && second.lines == 0) f.position = first.afterLine;
    f.lineNumber = headerLines + first.lines + (last == &second ? second.lines : 0);
    if (last->tooLong) throw LongLineError(f.lineNumber + 1, f.maxLineBytes);
    if (last->error) std::rethrow_exception(last->error);
    // Only for the indexes built now, over exactly these halves.
    if (last == &second && firstOrdered.size() == indexes.size() &&
        secondOrdered.size() == indexes.size()) {
        std::vector<bool> ordered(indexes.size());
        for (std::size_t i = 0; i < indexes.size(); ++i)
            ordered[i] = firstOrdered[i] && secondOrdered[i];
        table.NoteOrderedHalves(firstRecords, std::move(ordered));
    }
    table.BuildIndexes();
}

}  // namespace stream_detail
}  // namespace korvel
