// The records of a table stream: every line after the header is one record. A big stream's
// records may be read in two halves by two threads, and a third piece taken over by whichever
// finishes first; pieces are split at line breaks, so no line is cut, and joined in stream
// order afterwards.
#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>
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
// The pieces are written by two threads: each has a cache line of its own.
struct alignas(64) Piece {
    std::size_t begin = 0;
    // Just after a line break, or the end of the stream. While a half is being read, its end
    // may be moved back by the other thread (see Claims); only under the claims' lock then.
    std::size_t end = 0;
    std::size_t lines = 0;      // lines read, the one that failed included unless too long
    std::size_t position = 0;   // read position where it stopped, as one reader leaves it
    std::size_t afterLine = 0;  // read position just after its last line read
    bool tooLong = false;       // stopped at a line longer than the format allows
    std::exception_ptr error;   // stopped at a bad value (or anything else that was thrown)
    bool read = false;          // its reading has ended, one way or the other
    bool Stopped() const { return tooLong || error != nullptr; }
};

// Just after the first line break at or after `from`; the stream's size when there is none.
std::size_t LineStartAfter(std::string_view stream, std::size_t from) {
    if (from >= stream.size()) return stream.size();
    const std::size_t lineBreak = FindBreak(stream.data(), from, stream.size());
    return lineBreak < stream.size() ? lineBreak + 1 : stream.size();
}

// How far the readers of the two halves have got, so that the one that finishes first can take
// over the later half of what the other has not reached: the third piece, taken once. A reader
// claims its lines a stretch at a time, each stretch ending just after a line break, and reads
// only lines it has claimed; the other thread moves the half's end back, but never behind
// what has been claimed, so no line is read twice or left out.
class Claims {
  public:
    Claims(std::string_view stream, Piece (&pieces)[3], std::size_t minBytes,
           std::size_t takeOverAt)
        : stream_(stream),
          pieces_(pieces),
          claimed_{pieces[0].begin, pieces[1].begin},
          minBytes_(minBytes) {
        if (takeOverAt == 0) return;
        // A test's piece, handed to the other half's thread whatever the timing.
        const int from = takeOverAt < pieces[1].begin ? 0 : 1;
        if (Cut(from, LineStartAfter(stream, std::max(takeOverAt, pieces[from].begin))))
            assigned_ = true;
    }

    // The end of the lines half `k` may read: a further stretch, or the last one claimed when
    // the half ends there.
    std::size_t Claim(int k) {
        std::lock_guard<std::mutex> lock(mutex_);
        reading_[k] = true;
        const std::size_t end = pieces_[k].end;
        const std::size_t next = claimed_[k] + kStretch;
        claimed_[k] = next >= end ? end : std::min(end, LineStartAfter(stream_, next));
        return claimed_[k];
    }
    // Half `k`'s reader is done, at its end or stopped: nothing is taken from it any more.
    void Finish(int k) noexcept {
        std::lock_guard<std::mutex> lock(mutex_);
        reading_[k] = false;
    }
    // For the reader of half `k`, which read it to its end: whether it now reads the third
    // piece, taken from the other half while that is still being read.
    bool TakeOver(int k) noexcept {
        std::lock_guard<std::mutex> lock(mutex_);
        if (assigned_) {
            if (thief_ != k) return false;
            assigned_ = false;
            return true;
        }
        const int other = 1 - k;
        if (taken_ || !reading_[other]) return false;
        const std::size_t left = pieces_[other].end - claimed_[other];
        if (left < kStretch || left < minBytes_) return false;
        return Cut(other, LineStartAfter(stream_, claimed_[other] + left / 2));
    }
    // Whether there is a third piece, and whether it lies before the second half.
    bool Taken() const { return taken_; }
    bool TakenFromFirst() const { return taken_ && pieces_[2].begin < pieces_[1].begin; }

  private:
    static constexpr std::size_t kStretch = 16 * 1024;

    bool Cut(int from, std::size_t at) {
        if (at >= pieces_[from].end) return false;
        pieces_[2].begin = at;
        pieces_[2].end = pieces_[from].end;
        pieces_[from].end = at;
        taken_ = true;
        thief_ = 1 - from;
        return true;
    }

    std::mutex mutex_;
    const std::string_view stream_;
    Piece (&pieces_)[3];
    std::size_t claimed_[2];
    bool reading_[2] = {false, false};  // claiming its lines, not yet finished
    const std::size_t minBytes_;
    bool taken_ = false;
    bool assigned_ = false;  // the test's piece, not yet started by its thread
    int thief_ = -1;
};

// Reads the lines of `piece` into `table` until its end or the first error: up to `end`, or
// as far as `claims` gives half `k` (then `end` only sizes the columns). Records are appended
// only when their whole line parsed, and only when `keep` says so (otherwise they are only
// read, checked and observed). After a few records the columns are sized at the same bytes
// per record up to `end`, so that they do not grow (and copy) step by step.
void ReadPiece(MemTable& table, std::string_view stream, Piece& piece, std::size_t end,
               const TableStreamFormat& f, const std::vector<LoadColumn>& columns,
               RecordObserver* observer, Claims* claims, int k, bool keep) noexcept {
    constexpr std::size_t kSampleRecords = 64;
    // Counted in locals and stored at the end: the other thread's piece may be close by.
    std::size_t pos = piece.begin;
    std::size_t lines = 0;
    std::size_t afterLine = piece.begin;
    try {
        std::size_t limit = claims != nullptr ? claims->Claim(k) : end;
        std::string_view text = stream.substr(0, limit);
        RecordReader reader(table.Fields(), f, columns);
        const LineScanner scanner(f);
        std::string_view line;
        LineScan scan;
        if (observer != nullptr) observer->Begin(table.Fields(), piece.begin);
        for (;;) {
            const LineRead read = scanner.Next(text, pos, line, scan);
            if (read == LineRead::End) {
                // At the end of what was claimed, which ends at a line start: claim more.
                const std::size_t more = claims != nullptr ? claims->Claim(k) : limit;
                if (more == limit) break;
                limit = more;
                text = stream.substr(0, limit);
                continue;
            }
            if (read == LineRead::TooLong) {
                piece.tooLong = true;
                break;
            }
            ++lines;
            afterLine = pos;
            reader.Read(line, scan);
            const MemTable::RecordValue* record = reader.Values();
            if (keep) table.AppendRecord(record);
            if (observer != nullptr) observer->Record(record);
            if (lines == kSampleRecords && pos > piece.begin) {
                const std::size_t bytesPerRecord = (pos - piece.begin) / lines + 1;
                const auto guess = [&](std::size_t bytes) {
                    return bytes / bytesPerRecord * 5 / 4 + 16;
                };
                if (keep) table.ReserveRecords(guess(end - pos));
                if (observer != nullptr)
                    observer->Reserve(guess(end - pos), guess(stream.size() - pos));
            }
        }
    } catch (...) {
        piece.error = std::current_exception();
    }
    if (claims != nullptr) claims->Finish(k);
    piece.lines = lines;
    piece.afterLine = afterLine;
    piece.position = pos;
}

// Where the records are split: just after the first line break at or after the middle of the
// records (or the helper's test offset). The stream's size when they are not split.
std::size_t SplitPoint(std::string_view stream, std::size_t dataStart,
                       const TableStreamHelper& helper) {
    std::size_t from = helper.splitAt;
    if (from == 0) {
        if (stream.size() - dataStart < helper.minSplitBytes) return stream.size();
        from = dataStart + (stream.size() - dataStart) / 2;
    }
    return LineStartAfter(stream, std::max(from, dataStart));
}

// The records read in pieces: the first half from the start by the loading thread, into the
// table itself; the second by the helper, into a table of its own; the third, when there is
// one, taken over by whichever finished first (see Claims). Then the pieces are joined in
// stream order, and the outcome is what one thread reading everything would have had. Without
// `keep` the records are read, checked and observed but not appended to any table.
class PieceReading {
  public:
    PieceReading(MemTable& table, std::string_view stream, std::size_t dataStart,
                 const TableStreamFormat& f, const std::vector<LoadColumn>& columns,
                 TableStreamHelper* helper, RecordObservers observers, bool keep)
        : stream_(stream),
          f_(f),
          columns_(columns),
          helper_(helper),
          split_(helper != nullptr ? SplitPoint(stream, dataStart, *helper) : stream.size()),
          halves_(split_ < stream.size()),
          fields_(halves_ ? table.Fields() : std::vector<FieldDef>()),
          tables_{&table, &second_, &third_},
          observers_{observers.first, observers.second, observers.third},
          indexes_(table.Indexes()),
          keep_(keep) {
        pieces_[0].begin = dataStart;
        pieces_[0].end = split_;
        pieces_[1].begin = split_;
        pieces_[1].end = stream.size();
        if (halves_) claims_.emplace(stream, pieces_, helper->minSplitBytes, helper->takeOverAt);
    }
    PieceReading(const PieceReading&) = delete;
    PieceReading& operator=(const PieceReading&) = delete;

    // Reads every piece that one reader would have reached, on both threads. Only offering the
    // helper its job may throw; once offered, nothing throws before it is taken back.
    void ReadAll() {
        if (halves_) {
            helper_->Offer([this] {
                Read(1, &*claims_);
                if (!pieces_[1].Stopped() && claims_->TakeOver(1)) Read(2, nullptr);
            });
        }
        Read(0, halves_ ? &*claims_ : nullptr);
        if (halves_ && !pieces_[0].Stopped() && claims_->TakeOver(0)) Read(2, nullptr);
        if (halves_) {
            helper_->TakeBack();
            count_ = claims_->Taken() ? 3 : 2;
            if (claims_->TakenFromFirst()) std::swap(order_[1], order_[2]);
        }
        // This thread reads any piece that follows pieces read without error and that no
        // thread has read (a half the helper never started; a test's piece).
        for (int i = 1; i < count_ && !pieces_[order_[i - 1]].Stopped(); ++i) {
            if (!pieces_[order_[i]].read) Read(order_[i], nullptr);
        }
    }

    // Joins the pieces' records behind the table's own and leaves the reader as one reader
    // would be; throws the first error in stream order, after the records before it.
    void Join(TableStreamFormat& f, std::size_t headerLines) {
        int kept = 0;
        std::size_t lines = 0;
        std::size_t lastLineEnd = pieces_[0].afterLine;  // after the last line before `last`
        for (; kept < count_; ++kept) {
            if (kept > 0) {
                const Piece& before = pieces_[order_[kept - 1]];
                if (before.Stopped()) break;
                if (before.lines > 0) lastLineEnd = before.afterLine;
            }
            lines += pieces_[order_[kept]].lines;
        }
        const Piece& last = pieces_[order_[kept - 1]];
        records_ = lines;
        std::vector<std::uint32_t> starts;
        std::uint32_t records = tables_[0]->RecordCount();
        for (int i = 1; i < kept; ++i) {
            starts.push_back(records);
            records += tables_[order_[i]]->RecordCount();
        }
        if (keep_ && kept == 3 && order_[2] == 2) {
            // The piece taken over is the small one: joining copies it, behind the second half.
            second_.AdoptRecords(std::move(third_));
            tables_[0]->AdoptRecords(std::move(second_));
        } else if (keep_) {
            for (int i = 1; i < kept; ++i) tables_[0]->AdoptRecords(std::move(*tables_[order_[i]]));
        }
        f.position = last.position;
        // A line too long right at the start of a later piece: one reader would still be just
        // after the last line before it.
        if (kept > 1 && last.tooLong && last.lines == 0) f.position = lastLineEnd;
        f.lineNumber = headerLines + lines;
        if (last.tooLong) throw LongLineError(f.lineNumber + 1, f.maxLineBytes);
        if (last.error) std::rethrow_exception(last.error);
        NoteOrder(kept, std::move(starts));
    }

    // The records of the pieces joined, once Join has returned.
    std::size_t Records() const { return records_; }

  private:
    // Reads piece `k` into its table, claiming its lines from `claims` while the other half
    // may still take some of them.
    void Read(int k, Claims* claims) noexcept {
        Piece& piece = pieces_[k];
        piece.read = true;
        try {
            if (k != 0) tables_[k]->Define(fields_, {});
        } catch (...) {
            piece.error = std::current_exception();
            return;
        }
        // A half that may be cut short: its end as it starts only sizes its columns.
        const std::size_t end = claims == nullptr ? piece.end : k == 0 ? split_ : stream_.size();
        ReadPiece(*tables_[k], stream_, piece, end, f_, columns_, observers_[k], claims, k, keep_);
        if (!halves_ || !keep_ || piece.Stopped()) return;
        // Whether the records are in each index's order, found while they are in this thread's
        // cache, so that the index need not walk them all again.
        try {
            for (const IndexDef& def : indexes_) ordered_[k].push_back(tables_[k]->InOrderOf(def));
        } catch (...) {
            ordered_[k].clear();  // the index walks the records itself
        }
    }

    // Hands the index builder what the pieces' readers found, when all of them found it.
    void NoteOrder(int kept, std::vector<std::uint32_t> starts) {
        bool known = kept > 1;
        for (int i = 0; i < kept; ++i)
            known = known && ordered_[order_[i]].size() == indexes_.size();
        if (!known) return;
        std::vector<bool> all(indexes_.size(), true);
        for (std::size_t x = 0; x < indexes_.size(); ++x) {
            for (int i = 0; i < kept; ++i) all[x] = all[x] && ordered_[order_[i]][x];
        }
        tables_[0]->NoteOrderedPieces(std::move(starts), std::move(all));
    }

    const std::string_view stream_;
    const TableStreamFormat& f_;
    const std::vector<LoadColumn>& columns_;
    TableStreamHelper* const helper_;
    const std::size_t split_;
    const bool halves_;
    const std::vector<FieldDef> fields_;
    MemTable second_;
    MemTable third_;
    MemTable* const tables_[3];
    RecordObserver* const observers_[3];
    const std::vector<IndexDef>& indexes_;
    Piece pieces_[3];
    std::optional<Claims> claims_;
    std::vector<bool> ordered_[3];
    int order_[3] = {0, 1, 2};  // the pieces in stream order
    int count_ = 1;
    const bool keep_;
    std::size_t records_ = 0;
};

}  // namespace

void ReadRecords(MemTable& table, std::string_view stream, std::size_t dataStart,
                 std::size_t headerLines, TableStreamFormat& f,
                 const std::vector<LoadColumn>& columns, TableStreamHelper* helper,
                 RecordObservers observers, std::shared_ptr<const void> streamOwner) {
    const bool defer = streamOwner != nullptr;
    PieceReading reading(table, stream, dataStart, f, columns, helper, observers, !defer);
    reading.ReadAll();
    reading.Join(f, headerLines);
    if (defer) {
        // Made again from the stream by one reader on one thread: the lines are known to be
        // good now.
        table.DeferRecords(static_cast<std::uint32_t>(reading.Records()),
                           [owner = std::move(streamOwner), stream, dataStart, headerLines,
                            format = f, columns](MemTable& made) {
                               TableStreamFormat again = format;
                               PieceReading one(made, stream, dataStart, again, columns, nullptr,
                                                {}, true);
                               one.ReadAll();
                               one.Join(again, headerLines);
                           });
    }
    table.BuildIndexes();
}

}  // namespace stream_detail
}  // namespace korvel
