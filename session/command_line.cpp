#include "session/command_line.h"

#include <cctype>

namespace talvek {

// ---------------------------------------------------------------- ArgumentTokens

ArgumentTokens::ArgumentTokens(const std::string& commandLine)
    : text_(commandLine), pathEnd_(commandLine.size()) {
    const std::string& t = text_;
    const size_t n = t.size();
    size_t i = 0;
    while (i < n) {
        if (tokens_.size() == 1 && pathEnd_ == n) pathEnd_ = i;
        if (t[i] == ' ') {  // only blanks separate (tabs do not)
            ++i;
            continue;
        }
        if (t[i] == '"') {
            // Runs to the next quote not immediately preceded by a backslash;
            // the backslash stays in the token.
            size_t close = i + 1;
            for (;;) {
                close = t.find('"', close);
                if (close == std::string::npos) return;  // unclosed: rest dropped
                if (close > i + 1 && t[close - 1] == '\\') {
                    ++close;
                    continue;
                }
                break;
            }
            if (close > i + 1) tokens_.push_back(t.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        size_t end = t.find(' ', i);
        if (end == std::string::npos) end = n;
        tokens_.push_back(t.substr(i, end - i));
        i = end;
    }
}

const std::string& ArgumentTokens::operator[](size_t i) const {
    static const std::string empty;
    return i < tokens_.size() ? tokens_[i] : empty;
}

// ---------------------------------------------------------------------- PathParts

PathParts::PathParts(const std::string& path) : full_(path) {
    if (path.empty()) return;
    std::string rest = path;
    size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        drive_ = rest.substr(0, colon + 1);
        rest = rest.substr(colon + 1);
    }
    std::string file = rest;
    size_t sep = rest.find_last_of("\\/");
    if (sep != std::string::npos) {
        directory_ = rest.substr(0, sep);
        file = rest.substr(sep + 1);
    }
    size_t dot = file.rfind('.');
    if (dot == std::string::npos) {
        name_ = file;
    } else {
        name_ = file.substr(0, dot);
        extension_ = file.substr(dot);
    }
}

// ------------------------------------------------------------- CommandLine

namespace {

// The option scanner: hands each key found in `t` (possibly empty) with its
// value to `found`, in order.  Returns false when a quoted value had no
// closing quote and so took the rest of the text.
template <class Found>
bool scanOptions(const std::string& t, Found&& found) {
    const size_t n = t.size();
    size_t cur = 0;
    while (cur < n) {
        size_t prefix = t.find_first_of("-/", cur);
        if (prefix == std::string::npos) break;
        size_t keyStart = prefix + 1;  // only one prefix character is removed
        if (keyStart >= n) break;
        size_t sep = t.find_first_of(" :=", keyStart);
        if (sep == std::string::npos) {
            found(t.substr(keyStart), std::string());
            break;
        }
        std::string key = t.substr(keyStart, sep - keyStart);
        if (t[sep] == ' ' || sep == n - 1) {
            // A value separated by a blank is not taken.
            found(key, std::string());
            cur = sep + 1;
            continue;
        }
        size_t valueStart = sep + 1;
        const bool quoted = t[valueStart] == '"';
        size_t end;
        if (quoted) {
            ++valueStart;
            end = t.find('"', valueStart);
        } else {
            end = t.find(' ', valueStart);
        }
        if (end == std::string::npos) {
            found(key, t.substr(valueStart));
            return !quoted;
        }
        found(key, t.substr(valueStart, end - valueStart));
        cur = end + 1;
    }
    return true;
}

}  // namespace

CommandLine::CommandLine(const std::string& commandLine, bool caseSensitive)
    : commandLine_(commandLine), caseSensitive_(caseSensitive) {
    const size_t from = ArgumentTokens(commandLine_).programPathEnd();
    scanOptions(commandLine_.substr(from),
                [this](const std::string& key, const std::string& value) {
                    if (!key.empty()) store(key, value);
                });
}

std::string CommandLine::normalKey(const std::string& key) const {
    if (caseSensitive_) return key;
    std::string lower = key;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

void CommandLine::store(const std::string& key, const std::string& value) {
    values_.emplace(normalKey(key), value);  // keeps the first occurrence
}

bool CommandLine::contains(const std::string& key) const {
    return values_.count(normalKey(key)) != 0;
}

const char* CommandLine::valueOf(const std::string& key) const {
    auto it = values_.find(normalKey(key));
    return it == values_.end() ? nullptr : it->second.c_str();
}

// -------------------------------------------------------- CommandLineFromArgs

UncarriableArgument::UncarriableArgument(const std::string& argument)
    : std::runtime_error("'" + argument + "' cannot be passed on unchanged"), argument_(argument) {}

namespace {

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

bool isOption(const std::string& arg) {
    return arg.size() > 1 && (arg[0] == '-' || arg[0] == '/');
}

std::string quoteArgument(const std::string& arg, bool programPath) {
    if (!arg.empty() && arg.find(' ') == std::string::npos) return arg;
    if (!programPath && isOption(arg)) {
        // The option scanner ends a key at the first blank, ':' or '='.
        size_t sep = arg.find_first_of(" :=", 1);
        if (sep != std::string::npos && arg[sep] != ' ')
            return arg.substr(0, sep + 1) + quoted(arg.substr(sep + 1));
    }
    return quoted(arg);
}

// The text that carries `arg`, checked by scanning it back alone.  Each
// argument's text is read whole by the scanner and no further (no quoted
// value stays open), so the whole line reads back as its arguments do.
std::string carry(const std::string& arg, bool programPath) {
    const std::string text = quoteArgument(arg, programPath);
    std::vector<std::pair<std::string, std::string>> found;
    const bool closed = scanOptions(text, [&](const std::string& key, const std::string& value) {
        found.emplace_back(key, value);
    });
    bool faithful = closed;
    if (programPath) {
        // The tokeniser must give it back as the one token (it ends a quoted
        // path at a quote not preceded by a backslash, and drops an empty
        // one, so the next argument would become the path); what in it
        // reads as an option is never scanned.
        const ArgumentTokens tokens(text);
        faithful = faithful && !arg.empty() && arg.find('"') == std::string::npos &&
                   tokens.count() == 1 && tokens[0] == arg;
    } else if (isOption(arg)) {
        // Exactly the argument's key and value, nothing more.
        const size_t sep = arg.find_first_of(":=", 1);
        const std::string key = arg.substr(1, sep == std::string::npos ? sep : sep - 1);
        const std::string value = sep == std::string::npos ? std::string() : arg.substr(sep + 1);
        faithful = faithful && found.size() == 1 && found[0].first == key &&
                   found[0].second == value;
    } else {
        // A word that is no option must not read as one.
        faithful = faithful && found.empty();
    }
    if (!faithful) throw UncarriableArgument(arg);
    return text;
}

}  // namespace

std::string commandLineFromArgs(const std::vector<std::string>& args) {
    std::string line;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) line += ' ';
        line += carry(args[i], i == 0);
    }
    return line;
}

std::string commandLineFromArgs(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.emplace_back(argv && argv[i] ? argv[i] : "");
    return commandLineFromArgs(args);
}

}  // namespace talvek
