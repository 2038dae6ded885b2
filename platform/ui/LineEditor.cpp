#include "platform/ui/LineEditor.h"

#include <fcntl.h>
#include <histedit.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/foundation/UserDirectories.h"

namespace platform {

namespace {

// A history file larger than this is somebody else's file or damage, not ours: it is neither
// read (that could take all memory) nor overwritten.
constexpr std::uintmax_t kMaxHistoryFileBytes = 4u << 20;

// Keys are characters to libedit only in a UTF-8 locale; without one, "…" would be three
// unknown bytes on the screen.
void useUtf8Characters() {
    if (const char* set = std::setlocale(LC_CTYPE, "");
        set && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0)
        return;
    std::setlocale(LC_CTYPE, "C.UTF-8");
}

size_t characterCount(std::string_view text) {
    return static_cast<size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80; }));
}

unsigned char endOfFileKey(int fd) {
    termios modes{};
    if (::tcgetattr(fd, &modes) == 0 && modes.c_cc[VEOF] != 0) return modes.c_cc[VEOF];
    return 0x04;
}

}  // namespace

std::filesystem::path LineEditor::defaultHistoryFile() {
    const auto data = UserDirectories::dataHome();
    return data.empty() ? std::filesystem::path() : data / "zandrel" / "history";
}

LineEditor::LineEditor(Options options) : m_options(std::move(options)) {
    useUtf8Characters();
    // libedit reads and writes through stdio streams of its own on duplicates of the descriptors,
    // so closing them never closes the owner's.
    int in = ::dup(m_options.inputFd), out = ::dup(m_options.outputFd);
    m_in = in >= 0 ? ::fdopen(in, "r") : nullptr;
    m_out = out >= 0 ? ::fdopen(out, "w") : nullptr;
    if (!m_in || !m_out) {
        if (m_in)
            std::fclose(m_in);
        else if (in >= 0)
            ::close(in);
        if (m_out)
            std::fclose(m_out);
        else if (out >= 0)
            ::close(out);
        throw std::runtime_error(std::string("cannot set up line editing: ") + std::strerror(errno));
    }
    if (termios mode{}; ::tcgetattr(m_options.inputFd, &mode) == 0) m_savedMode = mode;
    m_el = ::el_init_fd("zandrel", m_in, m_out, m_out, m_options.inputFd, m_options.outputFd,
                        m_options.outputFd);
    if (!m_el) {
        std::fclose(m_in);
        std::fclose(m_out);
        throw std::runtime_error("cannot set up line editing: libedit did not start");
    }
    ::el_set(m_el, EL_CLIENTDATA, this);
    ::el_set(m_el, EL_EDITOR, "emacs");
    ::el_set(m_el, EL_SIGNAL, 0);
    ::el_set(m_el, EL_PROMPT, &LineEditor::promptText);
    // Added through the wide interface: libedit keeps the names it is given, and the narrow one
    // hands it copies nobody frees.
    ::el_wset(m_el, EL_ADDFN, L"zandrel-complete", L"complete a command, view, item or title",
              &LineEditor::completeKey);
    ::el_set(m_el, EL_BIND, "^I", "zandrel-complete", nullptr);
    ::el_wset(m_el, EL_ADDFN, L"zandrel-redraw", L"draw the window again", &LineEditor::redrawKey);
    ::el_set(m_el, EL_BIND, "^L", "zandrel-redraw", nullptr);

    m_history = ::history_init();
    HistEvent event;
    ::history(m_history, &event, H_SETSIZE,
              static_cast<int>(std::clamp<size_t>(m_options.historySize, 1, 100000)));
    ::history(m_history, &event, H_SETUNIQUE, 1);
    ::el_set(m_el, EL_HIST, ::history, m_history);
    loadHistory();
}

LineEditor::~LineEditor() {
    if (m_active) ::el_set(m_el, EL_UNBUFFERED, 0);  // the terminal back in its normal mode
    ::el_end(m_el);
    restoreTerminal();
    ::history_end(m_history);
    std::fclose(m_in);
    std::fclose(m_out);
}

const char* LineEditor::promptText(editline* el) {
    void* self = nullptr;
    ::el_get(el, EL_CLIENTDATA, &self);
    return self ? static_cast<LineEditor*>(self)->m_prompt.c_str() : "";
}

void LineEditor::begin(const std::string& prompt) {
    if (m_active) finishLine();
    m_prompt = prompt;
    m_line.clear();
    m_hidden = false;
    m_active = true;
    ::el_set(m_el, EL_UNBUFFERED, 1);  // editing mode, the prompt drawn, an empty line
}

void LineEditor::finishLine() {
    if (!m_active) return;
    m_active = false;
    if (!m_hidden) ::el_set(m_el, EL_UNBUFFERED, 0);
    m_hidden = false;
    holdKeys();
}

// Between lines (a command running, output being written) the terminal stays without its own
// line editing and echo: keys typed ahead reach the editor as typed. In the terminal's normal
// mode a Ctrl-D typed ahead would become an end-of-file nobody reads (and arrive as a NUL), and
// arrows would be echoed as escape sequences.
void LineEditor::holdKeys() {
    if (!m_savedMode) return;
    termios mode = *m_savedMode;
    mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    ::tcsetattr(m_options.inputFd, TCSANOW, &mode);
}

void LineEditor::restoreTerminal() {
    if (m_savedMode) ::tcsetattr(m_options.inputFd, TCSADRAIN, &*m_savedMode);
}

LineEditor::Event LineEditor::readKeys() {
    if (!m_active || m_hidden) return Event::None;
    const unsigned char eof = endOfFileKey(m_options.inputFd);
    // One key per el_gets(); the keys already typed are taken, then control goes back (after a
    // bounded number, so a flood of keys cannot keep the loop from its other work).
    for (int keys = 0; keys < 4096; ++keys) {
        pollfd ready{m_options.inputFd, POLLIN, 0};
        if (::poll(&ready, 1, 0) < 0) return Event::None;
        bool gone = ready.revents & (POLLHUP | POLLERR | POLLNVAL);
        // A hung-up terminal reads as ready for ever; only keys still queued are worth taking.
        int queued = 0;
        if (gone && (::ioctl(m_options.inputFd, FIONREAD, &queued) != 0 || queued <= 0))
            ready.revents &= ~POLLIN;
        if (!(ready.revents & POLLIN)) {
            if (gone) {
                finishLine();
                return Event::Hangup;
            }
            return Event::None;
        }
        int count = 0;
        const char* text = ::el_gets(m_el, &count);
        if (m_redrawWanted) {
            m_redrawWanted = false;
            return Event::RedrawWanted;
        }
        // No characters: the terminal has gone (a read of nothing, or an error on a hung-up
        // terminal) -- or, on a live one, a key that changes nothing (a motion on an empty line).
        if (!text || count <= 0) {
            if (count == 0 || gone) {
                finishLine();
                return Event::Hangup;
            }
            continue;
        }
        std::string_view got(text, static_cast<size_t>(count));
        if (got.size() == 1 && static_cast<unsigned char>(got[0]) == eof) {
            finishLine();
            return Event::EndOfInput;
        }
        if (got.back() == '\n' || got.back() == '\r') {
            got.remove_suffix(1);
            m_line.assign(got);
            finishLine();
            return Event::Line;
        }
    }
    return Event::None;
}

std::string LineEditor::currentText() const {
    if (m_hidden) return m_hiddenText;
    if (!m_active) return {};
    const LineInfo* info = ::el_line(m_el);
    return std::string(info->buffer, info->lastchar);
}

void LineEditor::hide() {
    if (!m_active || m_hidden) return;
    const LineInfo* info = ::el_line(m_el);
    m_hiddenText.assign(info->buffer, info->lastchar);
    m_hiddenCursorFromEnd = characterCount(std::string_view(info->cursor, info->lastchar));
    m_hidden = true;
    ::el_set(m_el, EL_UNBUFFERED, 0);
    holdKeys();
    writeOut("\r\x1b[K");  // the prompt line cleared: what comes next starts there
}

void LineEditor::show() {
    if (!m_active || !m_hidden) return;
    m_hidden = false;
    ::el_set(m_el, EL_UNBUFFERED, 1);
    if (!m_hiddenText.empty()) {
        ::el_insertstr(m_el, m_hiddenText.c_str());
        if (m_hiddenCursorFromEnd > 0) ::el_cursor(m_el, -static_cast<int>(m_hiddenCursorFromEnd));
        ::el_set(m_el, EL_REFRESH);
    }
    m_hiddenText.clear();
}

void LineEditor::clearLine() {
    if (!m_active) return;
    if (!m_hidden) ::el_set(m_el, EL_UNBUFFERED, 0);
    m_hidden = false;
    m_hiddenText.clear();
    writeOut("\n");
    ::el_set(m_el, EL_UNBUFFERED, 1);
}

void LineEditor::refresh() {
    if (!m_active || m_hidden) return;
    ::el_resize(m_el);
    ::el_set(m_el, EL_REFRESH);
}

void LineEditor::writeOut(const std::string& text) {
    std::fflush(m_out);
    std::string_view rest(text);
    while (!rest.empty()) {
        ssize_t n = ::write(m_options.outputFd, rest.data(), rest.size());
        if (n > 0)
            rest.remove_prefix(static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return;
    }
}

// ---------------------------------------------------------------- keys

unsigned char LineEditor::redrawKey(editline* el, int) {
    void* self = nullptr;
    ::el_get(el, EL_CLIENTDATA, &self);
    if (self) static_cast<LineEditor*>(self)->m_redrawWanted = true;
    return CC_NORM;
}

unsigned char LineEditor::completeKey(editline* el, int) {
    void* self = nullptr;
    ::el_get(el, EL_CLIENTDATA, &self);
    return self ? static_cast<LineEditor*>(self)->complete() : CC_ERROR;
}

unsigned char LineEditor::complete() {
    if (!m_completer) return CC_ERROR;
    const LineInfo* info = ::el_line(m_el);
    std::string before(info->buffer, info->cursor);
    Completion found = m_completer(before);
    if (found.candidates.empty() || found.replaceBytes > before.size()) return CC_REFRESH_BEEP;
    std::string typed = before.substr(before.size() - found.replaceBytes);
    auto replaceWith = [&](const std::string& text) {
        if (found.replaceBytes > 0) ::el_deletestr(m_el, static_cast<int>(characterCount(typed)));
        ::el_insertstr(m_el, text.c_str());
    };
    if (found.candidates.size() == 1) {
        replaceWith(found.candidates[0].text + found.candidates[0].suffix);
        return CC_REFRESH;
    }
    // Several: as far as they agree, then the list if that adds nothing.
    std::string common = found.candidates[0].text;
    for (const auto& candidate : found.candidates) {
        size_t n = 0;
        while (n < common.size() && n < candidate.text.size() && common[n] == candidate.text[n]) ++n;
        common.resize(n);
    }
    while (!common.empty() && (static_cast<unsigned char>(common.back()) & 0xc0) == 0x80) common.pop_back();
    if (!common.empty() && (static_cast<unsigned char>(common.back()) & 0x80)) common.pop_back();
    if (common.size() > typed.size() && common != typed) {
        replaceWith(common);
        return CC_REFRESH;
    }
    std::string list = "\n";
    for (const auto& candidate : found.candidates) list += candidate.text + "  ";
    list.back() = '\n';
    std::fflush(m_out);
    writeOut(list);
    return CC_REDISPLAY;
}

// ---------------------------------------------------------------- history

void LineEditor::loadHistory() {
    const auto& path = m_options.historyFile;
    if (path.empty()) return;
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    if (ec) return;  // no history yet
    if (size > kMaxHistoryFileBytes) {
        m_historyWritable = false;
        m_historyProblem = "the history file " + path.string() + " is larger than 4 MiB: not read or written";
        return;
    }
    HistEvent event;
    if (::history(m_history, &event, H_LOAD, path.c_str()) < 0)
        m_historyProblem = "the history file " + path.string() + " could not be read";
}

void LineEditor::addToHistory(const std::string& line) {
    if (line.empty() || line[0] == ' ' ||
        std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; }))
        return;
    HistEvent event;
    ::history(m_history, &event, H_ENTER, line.c_str());
    saveHistory();
}

std::vector<std::string> LineEditor::historyEntries() const {
    std::vector<std::string> entries;
    HistEvent event;
    // From the oldest; the walk does not move what Up recalls next.
    for (int rc = ::history(m_history, &event, H_LAST); rc >= 0; rc = ::history(m_history, &event, H_PREV))
        entries.emplace_back(event.str);
    return entries;
}

void LineEditor::saveHistory() {
    const auto& path = m_options.historyFile;
    if (path.empty() || !m_historyWritable) return;
    // Written whole to a private file beside it and renamed over it: another host writing at the
    // same time, or a crash half-way, never leaves a torn file.
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::string temporary = path.string() + ".tmp." + std::to_string(::getpid());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    FILE* file = fd >= 0 ? ::fdopen(fd, "w") : nullptr;
    HistEvent event;
    bool written = file && ::history(m_history, &event, H_SAVE_FP, file) >= 0;
    if (file)
        written = (std::fclose(file) == 0) && written;
    else if (fd >= 0)
        ::close(fd);
    if (written && ::rename(temporary.c_str(), path.c_str()) == 0) return;
    int error = errno;
    ::unlink(temporary.c_str());
    m_historyWritable = false;  // said once; the session goes on without it
    m_historyProblem = "the history cannot be kept in " + path.string() + ": " + std::strerror(error);
}

}  // namespace platform
