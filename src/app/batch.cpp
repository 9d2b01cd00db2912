#include "app/batch.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

#include "app/driver.hpp"
#include "app/input.hpp"
#include "io/file_reader.hpp"

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
void walk(const std::string& root, const std::vector<std::string>& extensions,
          std::vector<Entry>& inputs) {
    std::vector<std::string> pending{root};
    std::vector<Name> names;
    // Each pass lists one directory, its subdirectories pushed to be listed
    // next, in their order.
    while (!pending.empty()) {
        const std::string dir = std::move(pending.back());
        pending.pop_back();
        std::string reason;
        if (!names_in(dir, names, reason)) {
            inputs.push_back({dir, "cannot read: " + reason});
            continue;
        }
        std::vector<std::string> subdirectories;
        for (const Name& entry : names) {
            std::string path = dir.ends_with('/') ? dir + entry.name : dir + "/" + entry.name;
            const unsigned char type = type_of(entry, path);
            if (type == DT_DIR) {
                subdirectories.push_back(std::move(path));
            } else if (type == DT_REG && has_extension(entry.name, extensions)) {
                inputs.push_back({std::move(path), {}});
            }
        }
        // Files of a directory come before those of its subdirectories, which
        // come by name.
        pending.insert(pending.end(), subdirectories.rbegin(), subdirectories.rend());
    }
}

// ---------------------------------------------------------------------------
// The output, in the order of the inputs.

// Takes the outputs of the inputs being read at once and writes them to the
// run's output whole and in order: the first input not yet written writes
// straight through, the others keep up to kHeld bytes each and then wait
// their turn, so that memory stays bounded however large an output is.
class OrderedOutput {
  public:
    static constexpr std::size_t kHeld = std::size_t{4} << 20;

    OrderedOutput(io::Output& out, std::size_t inputs, bool progress)
        : out_(out), held_(inputs), finished_(inputs, false), progress_(progress) {}

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
        // Each pass waits for this input's turn, or for room to keep more.
        while (i != head_ && held_[i].size() + n > kHeld && !out_.failed())
            turn_.wait(lock);
        if (i == head_) {
            emit(held_[i]);
            emit(std::string_view(p, n));
        } else {
            held_[i].append(p, n);
        }
        return out_.failed() ? out_.error() : 0;
    }

    // Input `i` has written all it will; `name` is shown in the progress line.
    void finish(std::size_t i, std::string_view name) {
        std::unique_lock lock(mutex_);
        finished_[i] = true;
        names_done_ = name;
        // Each pass writes one finished input in its turn.
        while (head_ < finished_.size() && finished_[head_]) {
            emit(held_[head_]);
            ++head_;
            show_progress();
        }
        if (head_ < held_.size())
            emit(held_[head_]);
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
    void emit(std::string_view text) {
        if (text.empty())
            return;
        if (progress_shown_)
            clear_progress();
        out_.text(text);
    }
    void emit(std::string& held) {
        emit(std::string_view(held));
        held.clear();
        held.shrink_to_fit();
    }

    // "[12/2000] archive/b.wma" on standard error, redrawn as inputs end.
    void show_progress() {
        if (!progress_)
            return;
        out_.flush();
        std::string line = "\r[" + std::to_string(head_) + "/" + std::to_string(finished_.size()) +
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
    std::mutex mutex_;
    std::condition_variable turn_;
    std::size_t head_ = 0;  // the first input not yet written whole
    std::vector<std::string> held_;
    std::vector<bool> finished_;
    bool progress_;
    bool progress_shown_ = false;
    std::string names_done_;
};

// ---------------------------------------------------------------------------
// The run.

struct Outcome {
    bool unreadable = false;
    Verdict verdict;
};

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

Outcome inspect_one(const Options& options, const Entry& entry, std::size_t index, io::Output& out,
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
    // Text written for people: a blank line between files.
    if (index > 0 && options.format == Format::text && options.show != Show::check)
        out.end_line();
    io::FileReader file(input.fd, input.size);
    FileStyle style;
    style.path = entry.path;
    style.quiet = options.quiet;
    style.header = index == 0;
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
void write_total(io::Output& out, const std::vector<Outcome>& outcomes) {
    std::size_t clean = 0, warned = 0, failing = 0, unreadable = 0, not_asf = 0;
    for (const Outcome& o : outcomes) {
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
    count(out, outcomes.size(), outcomes.size() == 1 ? "file: " : "files: ");
    count(out, clean, "clean, ");
    count(out, warned, "with warnings only, ");
    count(out, failing, "with errors, ");
    count(out, unreadable, "unreadable, ");
    count(out, not_asf, "not ASF");
    out.end_line();
}

}  // namespace

std::vector<Entry> list_inputs(const Options& options) {
    std::vector<Entry> inputs;
    for (const std::string& operand : options.paths) {
        struct stat st {};
        const bool directory = ::stat(operand.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        if (!directory) {
            inputs.push_back({operand, {}});
        } else if (options.recursive) {
            walk(operand, options.extensions, inputs);
        } else {
            inputs.push_back({operand, "is a directory; -r reads the files in it"});
        }
    }
    return inputs;
}

int run_batch(const Options& options, const std::vector<Entry>& inputs, io::Output& out,
              io::Output& err) {
    const bool progress = inputs.size() > 1 && ::isatty(STDERR_FILENO) == 1;
    OrderedOutput ordered(out, inputs.size(), progress);
    Messages messages(err);
    std::vector<Outcome> outcomes(inputs.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        // Each pass reads the next input not yet taken, until none is left
        // or the output can't be written.
        for (std::size_t i = next++; i < inputs.size() && !ordered.failed(); i = next++) {
            OrderedOutput::Slot slot(ordered, i);
            {
                auto file_out = io::Output::to(slot);
                outcomes[i] = inspect_one(options, inputs[i], i, file_out, messages);
                file_out.flush();
            }
            ordered.finish(i, inputs[i].path);
        }
    };
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t jobs =
        std::min<std::size_t>(options.jobs != 0 ? options.jobs : processors, inputs.size());
    std::vector<std::thread> workers;
    for (std::size_t j = 1; j < jobs; ++j)
        workers.emplace_back(work);
    work();
    for (std::thread& w : workers)
        w.join();
    ordered.close();
    if (!out.failed() && options.show == Show::check && options.format == Format::text)
        write_total(out, outcomes);
    if (!out.flush()) {
        err.text("asfinspect: write error: ").text(std::strerror(out.error())).end_line();
        err.flush();
        return kExitFailure;
    }
    // An error found in a file is the answer asked for; a file that couldn't
    // be read was named on the way, and fails the run only when no error was.
    const bool any_error = std::any_of(outcomes.begin(), outcomes.end(), [](const Outcome& o) {
        return o.verdict.status == kExitInconsistent;
    });
    if (any_error)
        return kExitInconsistent;
    const bool any_unreadable = std::any_of(outcomes.begin(), outcomes.end(),
                                            [](const Outcome& o) { return o.unreadable; });
    return any_unreadable ? kExitFailure : kExitOk;
}

}  // namespace asfinspect::app
