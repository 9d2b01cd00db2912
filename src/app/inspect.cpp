#include "app/inspect.hpp"

#include <unistd.h>

#include "app/input.hpp"
#include "app/modes.hpp"
#include "io/error_text.hpp"

namespace asfinspect::app {

namespace {

// "9", "9 and 12", "9, 12 and 14"
std::string stream_numbers(const decode::StreamSet& streams) {
    std::string text;
    const std::size_t count = streams.count();
    std::size_t written = 0;
    for (std::size_t n = 1; n < decode::kStreamNumbers; ++n) {
        if (!streams.test(n))
            continue;
        ++written;
        text += std::to_string(n);
        if (written + 1 == count)
            text += " and ";
        else if (written < count)
            text += ", ";
    }
    return text;
}

// What --streams and --time leave of the file, when it is nothing: a
// stream number the file doesn't declare, a time range in which no media
// object of the streams selected is presented.
std::string selection_notes(io::FileReader& file, const Options& options, std::string_view path) {
    const bool time = options.selection.time.has_value();
    if (!options.streams_given && !time)
        return {};
    decode::Selection selection;
    selection.streams = options.selection.streams;
    selection.time = options.selection.time;
    const SelectionFound found = find_selection(file, path, selection);
    if (file.failed())
        return {};
    std::string notes;
    const decode::StreamSet& missing = found.undeclared;
    if (missing.any()) {
        notes +=
            message_line(path, std::string("--streams: the file declares no stream") +
                                   (missing.count() > 1 ? "s " : " ") + stream_numbers(missing));
    }
    // Streams it doesn't declare were said already.
    const bool some_declared = !options.streams_given || missing != selection.streams;
    if (!found.anything && some_declared) {
        notes += message_line(path, "--time=" + options.time_given + ": no media object" +
                                        (options.streams_given ? " of the streams selected" : "") +
                                        " is presented in that range");
    }
    return notes;
}

}  // namespace

std::string message_line(std::string_view path, std::string_view what) {
    std::string line = "asfinspect: ";
    line.append(path).append(": ").append(what).append("\n");
    return line;
}

Outcome read_file(io::FileReader& file, io::Output& out, const Options& options,
                  std::string_view path, bool several) {
    const Mode& mode = mode_of(options.show);
    FileRun run(file, out, options, path, several);
    Outcome outcome;
    outcome.verdict = mode.drive(run);
    if (!run.decoded && !file.failed() && !out.failed())
        run.not_asf = not_asf_finding(file, path);
    // The decoder finds an empty file to have no objects; it is no ASF either.
    if (run.not_asf.empty() && file.size() == 0)
        run.not_asf = "not an ASF file: the file is empty";
    std::string notes;
    if (run.not_asf.empty() && !file.failed() && !out.failed())
        notes = selection_notes(file, options, path);
    if (file.changed()) {
        outcome.unreadable = true;
        outcome.messages = message_line(path, "changed while being read");
    } else if (file.failed()) {
        outcome.unreadable = true;
        outcome.messages = message_line(path, "read error: " + io::error_text(file.error()));
    } else if (!run.not_asf.empty()) {
        outcome.verdict.not_asf = true;
        if (mode.fails_not_asf)
            outcome.verdict.status = kExitInconsistent;
        outcome.messages = message_line(path, run.not_asf);
    } else {
        outcome.messages = std::move(notes);
    }
    return outcome;
}

Outcome read_entry(const Entry& entry, io::Output& out, const Options& options, bool several) {
    if (!entry.problem.empty())
        return {true, {}, message_line(entry.path, entry.problem)};
    const Input input = open_input(entry.path.c_str());
    if (input.fd < 0)
        return {
            true, {}, message_line(entry.path, std::string(input.failure) + ": " + input.reason)};
    io::FileReader file(input.fd, input.size);
    Outcome outcome = read_file(file, out, options, entry.path, several);
    ::close(input.fd);
    return outcome;
}

}  // namespace asfinspect::app
