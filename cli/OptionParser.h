// The command line of every program read one way: options with and without a value, file
// names, help, and the first error as a line to print. Each program keeps its own options,
// words and checks; what they share is how the arguments are walked.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace cli {

enum class ParseOutcome {
    kRun,    // the settings are complete
    kUsage,  // help was asked for and the usage text printed
    kError,  // the error and the usage text were printed
};

class OptionParser {
  public:
    // The refusal of a value, or empty when it was taken.
    using Take = std::function<std::string(const std::string& value)>;

    explicit OptionParser(std::string usage) : usage(std::move(usage)) {}

    // An option without a value.
    void flag(const std::string& name, std::function<void()> set);
    // An option followed by a value. missing is the line when none follows (by default
    // "Missing value for 'NAME' parameter.").
    void option(const std::string& name, Take take, std::string missing = std::string());
    // Arguments that do not start with a dash; without this they are unrecognised flags.
    void operands(std::function<void(const std::string&)> take);
    // The names that print the usage text and end the command line (-h, -?, ...).
    void help(std::vector<std::string> names) { helpNames = std::move(names); }

    // Walks the arguments up to the first error, which error then holds; kUsage as soon as
    // help is asked for (the usage text is printed then).
    ParseOutcome read(int argc, char* argv[], std::string& error) const;
    // Prints the error line, an empty line and the usage text.
    ParseOutcome refuse(const std::string& error) const;
    // read, with the first error refused, then the refusal of a command line that names no
    // input (-in): the outcome a program returns.
    ParseOutcome readWithInputs(int argc, char* argv[],
                                const std::vector<std::string>& inputs) const;

  private:
    struct Option {
        std::string name;
        bool takesValue = false;
        std::function<void()> set;
        Take take;
        std::string missing;
    };
    const Option* find(const std::string& name) const;

    std::string usage;
    std::vector<Option> options;
    std::vector<std::string> helpNames;
    std::function<void(const std::string&)> operand;
};

// -in NAME, as often as given, into inputs; -out NAME into output, refused (as "Invalid value
// for '-out'") where NAME cannot name a file.
void inputAndOutputOptions(OptionParser& parser, std::vector<std::string>& inputs,
                           std::string& output);

}  // namespace cli
