#pragma once
// The command-line machinery: tokens of the command line, the split of the
// program path, and the option map.  All work on the one command-line text
// the process was started with, program path included.
#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvek {

// Tokens of the command line.  Token 0 is the program path as typed, without
// its quotes; an index beyond the list yields an empty text.
class ArgumentTokens {
  public:
    explicit ArgumentTokens(const std::string& commandLine);

    const std::string& operator[](size_t i) const;
    size_t count() const { return tokens_.size(); }
    const std::string& text() const { return text_; }
    // Where token 0 ends in the text (its closing quote included); the
    // text's length when it has no token.
    size_t programPathEnd() const { return pathEnd_; }

  private:
    std::string text_;
    std::vector<std::string> tokens_;
    size_t pathEnd_;
};

// Split of one path into drive (up to and including the first ':'),
// directory (without the trailing separator), name (without extension) and
// extension (from the last '.', dot included).  A path without a drive
// letter has an empty drive and is split on.
class PathParts {
  public:
    explicit PathParts(const std::string& path);

    const std::string& fullPath() const { return full_; }
    const std::string& drive() const { return drive_; }
    const std::string& directory() const { return directory_; }
    const std::string& name() const { return name_; }
    const std::string& extension() const { return extension_; }

  private:
    std::string full_, drive_, directory_, name_, extension_;
};

// The option map: keys after a '-' or '/' prefix, values after ':' or '='.
// Keys are lower-cased; the first occurrence of a key wins.  Only what
// follows the program path (token 0) is scanned: a path may hold anything
// that reads as an option ("/opt/x -f=y/talvek-dl"), and it is no option.
class CommandLine {
  public:
    using ValueMap = std::map<std::string, std::string>;

    explicit CommandLine(const std::string& commandLine, bool caseSensitive = false);

    bool contains(const std::string& key) const;
    // The stored value, or null when the key is absent (a key given without
    // a value yields an empty, non-null text).
    const char* valueOf(const std::string& key) const;

    const ValueMap& values() const { return values_; }
    const std::string& commandLine() const { return commandLine_; }

  private:
    std::string normalKey(const std::string& key) const;
    void store(const std::string& key, const std::string& value);

    std::string commandLine_;
    bool caseSensitive_;
    ValueMap values_;
};

// An argument that the command-line text cannot carry so that the option
// scanner reads it back unchanged; the message names it.
class UncarriableArgument : public std::runtime_error {
  public:
    explicit UncarriableArgument(const std::string& argument);
    const std::string& argument() const { return argument_; }

  private:
    std::string argument_;
};

// Rebuilds the single command-line text from separate process arguments:
// joined by single blanks; an argument that contains a blank or is empty is
// quoted (for an option the value after its ':' or '=', otherwise the whole
// argument; the program path is always quoted whole).  Bytes pass unchanged,
// whatever their encoding.
//
// Every argument must come back from the text as it went in: an option's
// value must read back as exactly its bytes (so a value cannot hold a quote
// together with a blank, nor start with a quote), no argument may open a
// quoted value that runs on into the next one, and the program path must
// come back as the first token (not empty, no quote, no blank before a
// closing backslash).  Anything else throws UncarriableArgument, before anything
// has been done with the arguments.
std::string commandLineFromArgs(const std::vector<std::string>& args);
std::string commandLineFromArgs(int argc, const char* const* argv);

}  // namespace talvek
