#include "app/batch.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string_view>
#include <thread>

#include "app/modes.hpp"
#include "io/error_text.hpp"

namespace asfinspect::app {

namespace {

// ---------------------------------------------------------------------------
// The inputs.

bool has_extension(std::string_view name, const std::vector<std::string>& extensions) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    std::string ext(name.substr(dot + 1));
    for (char& c : ext)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

// What walking needs of a directory entry.
struct Name {
    std::string name;
    unsigned char type;  // d_type: DT_UNKNOWN where the file system doesn't say
    bool operator<(const Name& other) const { return name < other.name; }
};

// The entries of a directory, sorted by name; false when it can't be read.
bool names_in(const std::string& dir, std::vector<Name>& names, std::string& reason) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        reason = io::error_text(errno);
        return false;
    }
    names.clear();
    // Each pass takes one entry, until the directory ends.
    for (const dirent* e = ::readdir(d); e != nullptr; e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name != "." && name != "..")
            names.push_back({std::string(name), e->d_type});
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return true;
}

// The entry's type, from the directory when it says (which spares a stat of
// every file of a large archive), else from lstat; DT_UNKNOWN when it is gone.
unsigned char type_of(const Name& entry, const std::string& path) {
    if (entry.type != DT_UNKNOWN)
        return entry.type;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return DT_UNKNOWN;
    return S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
}

// ".asf, .wma or .wmv"
std::string either(const std::vector<std::string>& extensions) {
    std::string text;
    for (std::size_t i = 0; i < extensions.size(); ++i) {
        if (i != 0)
            text += i + 1 == extensions.size() ? " or " : ", ";
        text += "." + extensions[i];
    }
    return text;
}

// The files below `root`, depth first, each directory's entries by name. A
// stack of directories still to read stands in for recursion, so that a
// deep tree can't exhaust the program's stack. A walk that finds nothing to
// read says so, as an input of its own.
bool walk(const std::string& root, const std::vector<std::string>& extensions,
          const TakeInput& take) {
    std::vector<std::string> pending{root};
    std::vector<Name> names;
    bool found = false;  // a file, or a directory that can't be read
    // Each pass lists one directory, its subdirectories pushed to be listed
    // next, in their order.
    while (!pending.empty()) {
        std::string dir = std::move(pending.back());
        pending.pop_back();
        std::string reason;
        if (!names_in(dir, names, reason)) {
            found = true;
            if (!take({std::move(dir), "cannot read: " + reason}))
                return false;
            continue;
        }
        std::vector<std::string> subdirectories;
        for (const Name& entry : names) {
            std::string path = dir.ends_with('/') ? dir + entry.name : dir + "/" + entry.name;
            const unsigned char type = type_of(entry, path);
            if (type == DT_DIR) {
                subdirectories.push_back(std::move(path));
            } else if (type == DT_REG && has_extension(entry.name, extensions)) {
                found = true;
                if (!take({std::move(path), {}}))
                    return false;
            }
        }
        // Files of a directory come before those of its subdirectories, which
        // come by name.
        pending.insert(pending.end(), subdirectories.rbegin(), subdirectories.rend());
    }
    if (found)
        return true;
    return take({root, "no file to read: no name in it or below it ends in " + either(extensions)});
}

// ---------------------------------------------------------------------------
// What the files came to.

class Tally {
  public:
    void add(const Outcome& o) {
        ++files_;
        if (o.unreadable) {
            ++unreadable_;
        } else if (o.verdict.not_asf) {
            ++not_asf_;
        } else if (o.verdict.errors != 0) {
            ++failing_;
        } else if (o.verdict.warnings != 0) {
            ++warned_;
        } else {
            ++clean_;
        }
        any_error_ = any_error_ || o.verdict.status == kExitInconsistent;
    }

    // An error found in a file is the answer asked for; a file that couldn't
    // be read was named on the way, and fails the run only when no error was.
    int status() const {
        return any_error_ ? kExitInconsistent : unreadable_ != 0 ? kExitFailure : kExitOk;
    }

    // "10000 files: 9812 clean, 143 with warnings only, 45 with errors, 0
    // unreadable, 0 not ASF"
    void write(io::Output& out) const {
        out.number(files_).text(files_ == 1 ? " file: " : " files: ");
        out.number(clean_).text(" clean, ");
        out.number(warned_).text(" with warnings only, ");
        out.number(failing_).text(" with errors, ");
        out.number(unreadable_).text(" unreadable, ");
        out.number(not_asf_).text(" not ASF").end_line();
    }

  private:
    std::uint64_t files_ = 0;
    std::uint64_t clean_ = 0;
    std::uint64_t warned_ = 0;
    std::uint64_t failing_ = 0;
    std::uint64_t unreadable_ = 0;
    std::uint64_t not_asf_ = 0;
    bool any_error_ = false;
};

// ---------------------------------------------------------------------------
// The inputs listed and not yet taken, numbered as they are taken. The
// lister stays at most kAhead inputs ahead of the readers, so that walking
// a large archive overlaps reading it in bounded memory; once held back it
// goes on when half of them were taken, not at each one.

class InputQueue {
  public:
    static constexpr std::size_t kAhead = 256;

    // False once the run stopped.
    bool add(Entry entry) {
        std::unique_lock lock(mutex_);
        if (waiting_.size() >= kAhead)
            room_.wait(lock, [&] { return waiting_.size() <= kAhead / 2 || stopped_; });
        if (stopped_)
            return false;
        waiting_.push_back(std::move(entry));
        ++listed_;
        if (waiting_.size() == 1)
            listed_one_.notify_all();
        return true;
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        listed_one_.notify_all();
    }
    // The output can't be written: the listing ends.
    void stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        listed_one_.notify_all();
        room_.notify_all();
    }
    // The next input and its number; false when the list ended before it.
    bool take(Entry& entry, std::size_t& index) {
        std::unique_lock lock(mutex_);
        listed_one_.wait(lock, [&] { return !waiting_.empty() || closed_ || stopped_; });
        if (waiting_.empty() || stopped_)
            return false;
        entry = std::move(waiting_.front());
        waiting_.pop_front();
        index = taken_++;
        if (waiting_.size() == kAhead / 2)
            room_.notify_all();
        return true;
    }
    std::size_t listed() {
        std::lock_guard lock(mutex_);
        return listed_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable listed_one_;  // the readers wait for an input
    std::condition_variable room_;        // the lister waits for room
    std::deque<Entry> waiting_;
    std::size_t listed_ = 0;
    std::size_t taken_ = 0;
    bool closed_ = false;
    bool stopped_ = false;
};

// ---------------------------------------------------------------------------
// The output, in the order of the inputs.

// Takes the outputs of the inputs being read at once and writes them to the
// run's output whole and in order, each followed by its messages on
// standard error: the first input not yet written writes straight through,
// the others keep up to kHeld bytes each and then wait their turn. An input
// is begun only within `window` of the first, so that what is held is
// bounded by the number of jobs, whatever the number of inputs.
class OrderedOutput {
  public:
    static constexpr std::size_t kHeld = std::size_t{4} << 20;

    // `separator` goes between the outputs of two inputs that write any.
    OrderedOutput(io::Output& out, io::Output& err, InputQueue& inputs, std::size_t window,
                  std::string_view separator, bool progress)
        : out_(out),
          err_(err),
          inputs_(inputs),
          window_(window),
          separator_(separator),
          progress_(progress) {}

    // What input `i` writes.
    class Target final : public io::OutputTarget {
      public:
        Target(OrderedOutput& owner, std::size_t index) : owner_(owner), index_(index) {}
        int write(const char* p, std::size_t n) override { return owner_.write(index_, p, n); }

      private:
        OrderedOutput& owner_;
        std::size_t index_;
    };

    // Input `i`, read from `path`, is about to be read: waits until it lies
    // within the window. False when the output failed meanwhile.
    bool begin(std::size_t i, std::string_view path) {
        std::unique_lock lock(mutex_);
        // Each pass waits for the first input to be written whole.
        while (i >= head_ + window_ && !failed_)
            turn_.wait(lock);
        slot(i).path = path;
        if (i == head_)
            show_progress();
        return !failed_;
    }

    int write(std::size_t i, const char* p, std::size_t n) {
        std::unique_lock lock(mutex_);
        Slot& s = slot(i);
        // Each pass waits for this input's turn, or for room to keep more.
        while (i != head_ && s.held.size() + n > kHeld && !failed_)
            turn_.wait(lock);
        if (i == head_) {
            emit(i, s.held);
            emit(i, std::string_view(p, n));
        } else {
            s.held.append(p, n);
        }
        return out_.failed() ? out_.error() : 0;
    }

    // Input `i` has written all it will, and says `messages`.
    void finish(std::size_t i, std::string messages) {
        std::unique_lock lock(mutex_);
        Slot& done = slot(i);
        done.finished = true;
        done.messages = std::move(messages);
        // Each pass writes one finished input in its turn, and its messages.
        while (!slots_.empty() && slots_.front().finished) {
            Slot& first = slots_.front();
            emit(head_, first.held);
            say(first.messages);
            slots_.pop_front();
            ++head_;
        }
        if (!slots_.empty())
            emit(head_, slots_.front().held);
        show_progress();
        turn_.notify_all();
    }

    // After every input: clears the progress line.
    void close() {
        std::lock_guard lock(mutex_);
        if (progress_shown_)
            clear_progress();
        out_.flush();
    }

    bool failed() const { return failed_; }

  private:
    struct Slot {
        std::string path;
        std::string held;
        std::string messages;
        bool finished = false;
    };

    // Inputs from the first not yet written whole, within the window.
    Slot& slot(std::size_t i) {
        if (slots_.size() <= i - head_)
            slots_.resize(i - head_ + 1);
        return slots_[i - head_];
    }

    // Writes what input `i` wrote, after the separator when it is the first
    // text of an input that follows another's.
    void emit(std::size_t i, std::string_view text) {
        if (text.empty())
            return;
        if (progress_shown_)
            clear_progress();
        if (i != writing_) {
            if (writing_ != kNone)
                out_.text(separator_);
            writing_ = i;
        }
        out_.text(text);
        failed_ = out_.failed();
    }
    void emit(std::size_t i, std::string& held) {
        emit(i, std::string_view(held));
        held.clear();
        held.shrink_to_fit();
    }

    // An input's messages, after its output.
    void say(std::string_view messages) {
        if (messages.empty())
            return;
        if (progress_shown_)
            clear_progress();
        failed_ = !out_.flush();
        err_.text(messages);
        err_.flush();
    }

    // "[12/2000] archive/b.wma" on standard error: the inputs written whole,
    // those listed, and the one being written; redrawn as they end.
    void show_progress() {
        if (!progress_ || slots_.empty() || slots_.front().path.empty())
            return;
        failed_ = !out_.flush();
        err_.text("\r[").number(head_).text("/").number(inputs_.listed()).text("] ");
        err_.text(slots_.front().path).text("\033[K");
        err_.flush();
        progress_shown_ = true;
    }
    void clear_progress() {
        failed_ = !out_.flush();
        err_.text("\r\033[K");
        err_.flush();
        progress_shown_ = false;
    }

    io::Output& out_;
    io::Output& err_;
    InputQueue& inputs_;
    std::mutex mutex_;
    std::condition_variable turn_;
    std::size_t head_ = 0;    // the first input not yet written whole
    std::deque<Slot> slots_;  // of inputs head_, head_ + 1, ...
    std::size_t window_;
    static constexpr std::size_t kNone = ~std::size_t{0};
    std::size_t writing_ = kNone;  // the last input whose text was written
    std::string_view separator_;
    bool progress_;
    bool progress_shown_ = false;
    // Read without the lock by the lister and the readers.
    std::atomic<bool> failed_ = false;
};

// ---------------------------------------------------------------------------
// The runs.

int write_error(io::Output& err, int error) {
    err.text("asfinspect: write error: ").text(io::error_text(error)).end_line();
    err.flush();
    return kExitFailure;
}

// One operand, straight to the output.
int run_one(const Options& options, io::Output& out, io::Output& err) {
    Tally tally;
    list_inputs(options, [&](Entry entry) {
        const Outcome outcome = read_entry(entry, out, options, false);
        tally.add(outcome);
        // What the file gave comes before what is said of it.
        out.flush();
        err.text(outcome.messages);
        err.flush();
        return !out.failed();
    });
    if (!out.flush())
        return write_error(err, out.error());
    return tally.status();
}

// Several inputs, `jobs` at once.
int run_many(const Options& options, io::Output& out, io::Output& err) {
    const Mode& mode = mode_of(options.show);
    InputQueue inputs;
    const bool progress = ::isatty(STDERR_FILENO) == 1;
    const std::string_view separator =
        options.format == Format::text ? mode.between_files : std::string_view();
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    std::size_t jobs = options.jobs != 0 ? options.jobs : processors;
    // Without a walk the operands are all the inputs there are.
    if (!options.recursive)
        jobs = std::min(jobs, options.paths.size());
    // Enough inputs begun ahead of the first to keep the jobs busy past a
    // long one, few enough that what they hold stays small.
    OrderedOutput ordered(out, err, inputs, 16 * jobs, separator, progress);
    std::thread lister([&] {
        list_inputs(options, [&](Entry entry) { return inputs.add(std::move(entry)); });
        inputs.close();
    });
    std::mutex tally_mutex;
    Tally tally;
    const auto work = [&] {
        Entry entry;
        std::size_t i = 0;
        // Each pass reads the next input not yet taken, until the list ends
        // or the output can't be written.
        while (inputs.take(entry, i) && ordered.begin(i, entry.path)) {
            OrderedOutput::Target target(ordered, i);
            Outcome outcome;
            {
                auto file_out = io::Output::to(target);
                outcome = read_entry(entry, file_out, options, true);
                file_out.flush();
            }
            {
                std::lock_guard lock(tally_mutex);
                tally.add(outcome);
            }
            ordered.finish(i, std::move(outcome.messages));
            if (ordered.failed())
                inputs.stop();
        }
    };
    std::vector<std::thread> workers;
    for (std::size_t j = 1; j < jobs; ++j)
        workers.emplace_back(work);
    work();
    for (std::thread& w : workers)
        w.join();
    inputs.stop();
    lister.join();
    ordered.close();
    if (!out.failed() && mode.counts_files && options.format == Format::text)
        tally.write(out);
    if (!out.flush())
        return write_error(err, out.error());
    return tally.status();
}

}  // namespace

bool list_inputs(const Options& options, const TakeInput& take) {
    // Each pass lists one operand, until they end or the taker stops.
    for (const std::string& operand : options.paths) {
        struct stat st {};
        const bool directory = ::stat(operand.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        bool going = true;
        if (!directory) {
            going = take({operand, {}});
        } else if (options.recursive) {
            going = walk(operand, options.extensions, take);
        } else if ((mode_of(options.show).takes & takes::kMany) != 0) {
            going = take({operand, "is a directory; -r reads the files in it"});
        } else {
            going = take({operand, {}});  // which can't be opened as a file
        }
        if (!going)
            return false;
    }
    return true;
}

bool over_several(const Options& options) {
    return options.paths.size() > 1 || options.recursive || options.quiet;
}

int run_inputs(const Options& options, io::Output& out, io::Output& err) {
    const Mode& mode = mode_of(options.show);
    // CSV: one header row above the rows of every file, each with its path.
    if (options.format == Format::csv && mode.csv_header != nullptr)
        mode.csv_header(out, true);
    return over_several(options) ? run_many(options, out, err) : run_one(options, out, err);
}

}  // namespace asfinspect::app
