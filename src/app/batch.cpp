#include "app/batch.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string_view>
#include <thread>

#include "app/driver.hpp"
#include "app/input.hpp"
#include "io/file_reader.hpp"
#include "view/objects_view.hpp"
#include "view/packets_csv_view.hpp"
#include "view/summary_view.hpp"
#include "view/timeline_view.hpp"

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
        reason = std::strerror(errno);
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

// The files below `root`, depth first, each directory's entries by name. A
// stack of directories still to read stands in for recursion, so that a
// deep tree can't exhaust the program's stack.
bool walk(const std::string& root, const std::vector<std::string>& extensions,
          const TakeInput& take) {
    std::vector<std::string> pending{root};
    std::vector<Name> names;
    // Each pass lists one directory, its subdirectories pushed to be listed
    // next, in their order.
    while (!pending.empty()) {
        std::string dir = std::move(pending.back());
        pending.pop_back();
        std::string reason;
        if (!names_in(dir, names, reason)) {
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
            } else if (type == DT_REG && has_extension(entry.name, extensions) &&
                       !take({std::move(path), {}})) {
                return false;
            }
        }
        // Files of a directory come before those of its subdirectories, which
        // come by name.
        pending.insert(pending.end(), subdirectories.rbegin(), subdirectories.rend());
    }
    return true;
}

// The inputs of a run as they are listed, with what reading each found.
// Readers take them by number while the listing goes on, so that walking a
// large archive overlaps reading it.
struct Outcome {
    bool unreadable = false;
    Verdict verdict;
};
struct Item {
    Entry entry;
    Outcome outcome;  // written by the one reader that takes the item
};

class InputList {
  public:
    void add(Entry entry) {
        std::lock_guard lock(mutex_);
        items_.push_back({std::move(entry), {}});
        listed_.notify_all();
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        listed_.notify_all();
    }
    // Input `i` once it is listed; nullptr when the list closed before it.
    // A deque keeps the items where they are as the list grows.
    Item* wait_for(std::size_t i) {
        std::unique_lock lock(mutex_);
        listed_.wait(lock, [&] { return i < items_.size() || closed_; });
        return i < items_.size() ? &items_[i] : nullptr;
    }
    std::size_t size() {
        std::lock_guard lock(mutex_);
        return items_.size();
    }
    // After the readers are done.
    const std::deque<Item>& items() const { return items_; }

  private:
    std::mutex mutex_;
    std::condition_variable listed_;
    std::deque<Item> items_;
    bool closed_ = false;
};

// ---------------------------------------------------------------------------
// The output, in the order of the inputs.

// Takes the outputs of the inputs being read at once and writes them to the
// run's output whole and in order: the first input not yet written writes
// straight through, the others keep up to kHeld bytes each and then wait
// their turn, so that memory stays bounded however large an output is.
class OrderedOutput {
  public:
    static constexpr std::size_t kHeld = std::size_t{4} << 20;

    // `separator` goes between the outputs of two inputs that write any.
    OrderedOutput(io::Output& out, InputList& inputs, std::string_view separator, bool progress)
        : out_(out), inputs_(inputs), separator_(separator), progress_(progress) {}

    // What input `i` writes.
    class Slot final : public io::OutputTarget {
      public:
        Slot(OrderedOutput& owner, std::size_t index) : owner_(owner), index_(index) {}
        int write(const char* p, std::size_t n) override { return owner_.write(index_, p, n); }

      private:
        OrderedOutput& owner_;
        std::size_t index_;
    };

    int write(std::size_t i, const char* p, std::size_t n) {
        std::unique_lock lock(mutex_);
        make_room_for(i);
        // Each pass waits for this input's turn, or for room to keep more.
        while (i != head_ && held_[i].size() + n > kHeld && !out_.failed())
            turn_.wait(lock);
        if (i == head_) {
            emit(i, held_[i]);
            emit(i, std::string_view(p, n));
        } else {
            held_[i].append(p, n);
        }
        return out_.failed() ? out_.error() : 0;
    }

    // Input `i` has written all it will; `name` is shown in the progress line.
    void finish(std::size_t i, std::string_view name) {
        std::unique_lock lock(mutex_);
        make_room_for(i);
        finished_[i] = true;
        names_done_ = name;
        // Each pass writes one finished input in its turn.
        while (head_ < finished_.size() && finished_[head_]) {
            emit(head_, held_[head_]);
            ++head_;
            show_progress();
        }
        if (head_ < held_.size())
            emit(head_, held_[head_]);
        turn_.notify_all();
    }

    // After every input: clears the progress line.
    void close() {
        std::lock_guard lock(mutex_);
        if (progress_shown_)
            clear_progress();
        out_.flush();
    }

    bool failed() const { return out_.failed(); }

  private:
    // Inputs are numbered as they are listed, so the slots grow with them.
    void make_room_for(std::size_t i) {
        if (held_.size() <= i) {
            held_.resize(i + 1);
            finished_.resize(i + 1, false);
        }
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
    }
    void emit(std::size_t i, std::string& held) {
        emit(i, std::string_view(held));
        held.clear();
        held.shrink_to_fit();
    }

    // "[12/2000] archive/b.wma" on standard error, redrawn as inputs end.
    void show_progress() {
        if (!progress_)
            return;
        out_.flush();
        std::string line = "\r[" + std::to_string(head_) + "/" + std::to_string(inputs_.size()) +
                           "] " + names_done_ + "\033[K";
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, line.data(), line.size());
        progress_shown_ = true;
    }
    void clear_progress() {
        out_.flush();
        static constexpr std::string_view kClear = "\r\033[K";
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, kClear.data(), kClear.size());
        progress_shown_ = false;
    }

    io::Output& out_;
    InputList& inputs_;
    std::mutex mutex_;
    std::condition_variable turn_;
    std::size_t head_ = 0;  // the first input not yet written whole
    static constexpr std::size_t kNone = ~std::size_t{0};
    std::size_t writing_ = kNone;  // the last input whose text was written
    std::string_view separator_;
    std::deque<std::string> held_;
    std::deque<bool> finished_;
    bool progress_;
    bool progress_shown_ = false;
    std::string names_done_;
};

// ---------------------------------------------------------------------------
// The run.

// Messages about the inputs, one at a time on standard error.
class Messages {
  public:
    explicit Messages(io::Output& err) : err_(err) {}
    void say(std::string_view path, std::string_view what) {
        std::lock_guard lock(mutex_);
        err_.text("asfinspect: ").text(path).text(": ").text(what).end_line();
        err_.flush();
    }

  private:
    io::Output& err_;
    std::mutex mutex_;
};

Outcome inspect_one(const Options& options, const Entry& entry, io::Output& out,
                    Messages& messages) {
    if (!entry.problem.empty()) {
        messages.say(entry.path, entry.problem);
        return {true, {}};
    }
    const Input input = open_input(entry.path.c_str());
    if (input.fd < 0) {
        messages.say(entry.path, std::string(input.failure) + ": " + input.reason);
        return {true, {}};
    }
    io::FileReader file(input.fd, input.size);
    FileStyle style;
    style.path = entry.path;
    style.quiet = options.quiet;
    Outcome outcome{false, inspect_file(file, out, options, entry.path, &style)};
    ::close(input.fd);
    if (file.changed()) {
        messages.say(entry.path, "changed while being read");
        outcome.unreadable = true;
    } else if (file.failed()) {
        messages.say(entry.path, std::string("read error: ") + std::strerror(file.error()));
        outcome.unreadable = true;
    }
    return outcome;
}

void count(io::Output& out, std::size_t n, std::string_view what) {
    out.number(n).text(" ").text(what);
}

// "10000 files: 9812 clean, 143 with warnings only, 45 with errors, 0
// unreadable, 0 not ASF"
void write_total(io::Output& out, const std::deque<Item>& items) {
    std::size_t clean = 0, warned = 0, failing = 0, unreadable = 0, not_asf = 0;
    for (const Item& item : items) {
        const Outcome& o = item.outcome;
        if (o.unreadable) {
            ++unreadable;
        } else if (o.verdict.not_asf) {
            ++not_asf;
        } else if (o.verdict.errors != 0) {
            ++failing;
        } else if (o.verdict.warnings != 0) {
            ++warned;
        } else {
            ++clean;
        }
    }
    count(out, items.size(), items.size() == 1 ? "file: " : "files: ");
    count(out, clean, "clean, ");
    count(out, warned, "with warnings only, ");
    count(out, failing, "with errors, ");
    count(out, unreadable, "unreadable, ");
    count(out, not_asf, "not ASF");
    out.end_line();
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
        } else {
            going = take({operand, "is a directory; -r reads the files in it"});
        }
        if (!going)
            return false;
    }
    return true;
}

int run_batch(const Options& options, io::Output& out, io::Output& err) {
    InputList inputs;
    const bool progress = ::isatty(STDERR_FILENO) == 1;
    // Text written for people: a blank line between files.
    const bool spaced = options.format == Format::text && options.show != Show::check;
    OrderedOutput ordered(out, inputs, spaced ? "\n" : "", progress);
    // CSV: one header row above the rows of every file.
    if (options.format == Format::csv && options.show == Show::summary)
        view::SummaryView::write_csv_header(out, true);
    else if (options.format == Format::csv && options.show == Show::objects)
        view::ObjectsView::write_csv_header(out, true);
    else if (options.format == Format::csv && options.show == Show::timeline)
        view::TimelineView::write_csv_header(out, true);
    else if (options.format == Format::csv && options.show == Show::tree)
        view::PacketsCsvView::write_csv_header(out, true);
    Messages messages(err);
    std::thread lister([&] {
        list_inputs(options, [&](Entry entry) {
            inputs.add(std::move(entry));
            return !ordered.failed();
        });
        inputs.close();
    });
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        // Each pass reads the next input not yet taken, until the list ends
        // or the output can't be written.
        for (std::size_t i = next++;; i = next++) {
            Item* item = inputs.wait_for(i);
            if (item == nullptr || ordered.failed())
                break;
            OrderedOutput::Slot slot(ordered, i);
            {
                auto file_out = io::Output::to(slot);
                item->outcome = inspect_one(options, item->entry, file_out, messages);
                file_out.flush();
            }
            ordered.finish(i, item->entry.path);
        }
    };
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    std::size_t jobs = options.jobs != 0 ? options.jobs : processors;
    // Without a walk the operands are all the inputs there are.
    if (!options.recursive)
        jobs = std::min(jobs, options.paths.size());
    std::vector<std::thread> workers;
    for (std::size_t j = 1; j < jobs; ++j)
        workers.emplace_back(work);
    work();
    for (std::thread& w : workers)
        w.join();
    lister.join();
    ordered.close();
    const std::deque<Item>& items = inputs.items();
    if (!out.failed() && options.show == Show::check && options.format == Format::text)
        write_total(out, items);
    if (!out.flush()) {
        err.text("asfinspect: write error: ").text(std::strerror(out.error())).end_line();
        err.flush();
        return kExitFailure;
    }
    // An error found in a file is the answer asked for; a file that couldn't
    // be read was named on the way, and fails the run only when no error was.
    const bool any_error = std::any_of(items.begin(), items.end(), [](const Item& item) {
        return item.outcome.verdict.status == kExitInconsistent;
    });
    if (any_error)
        return kExitInconsistent;
    const bool any_unreadable = std::any_of(
        items.begin(), items.end(), [](const Item& item) { return item.outcome.unreadable; });
    return any_unreadable ? kExitFailure : kExitOk;
}

}  // namespace asfinspect::app
