#include "cli/OptionParser.h"

#include <algorithm>

#include "cli/Console.h"
#include "cli/NumberText.h"
#include "cli/SafeOutput.h"

namespace cli {

void OptionParser::flag(const std::string& name, std::function<void()> set) {
    options.push_back({name, false, std::move(set), nullptr, std::string()});
}

void OptionParser::option(const std::string& name, Take take, std::string missing) {
    if (missing.empty()) {
        missing = "Missing value for '" + name + "' parameter.";
    }
    options.push_back({name, true, nullptr, std::move(take), std::move(missing)});
}

void OptionParser::operands(std::function<void(const std::string&)> take) {
    operand = std::move(take);
}

const OptionParser::Option* OptionParser::find(const std::string& name) const {
    for (const Option& option : options) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

ParseOutcome OptionParser::read(int argc, char* argv[], std::string& error) const {
    error.clear();
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (std::find(helpNames.begin(), helpNames.end(), argument) != helpNames.end()) {
            printLine(usage);
            return ParseOutcome::kUsage;
        }
        const Option* option = find(argument);
        if (option == nullptr) {
            if (operand && (argument.empty() || argument[0] != '-')) {
                operand(argument);
                continue;
            }
            error = "Unrecognised flag: " + argument;
            return ParseOutcome::kError;
        }
        if (!option->takesValue) {
            option->set();
            continue;
        }
        if (i + 1 >= argc) {
            error = option->missing;
            return ParseOutcome::kError;
        }
        error = option->take(argv[++i]);
        if (!error.empty()) {
            return ParseOutcome::kError;
        }
    }
    return ParseOutcome::kRun;
}

ParseOutcome OptionParser::refuse(const std::string& error) const {
    printLine(error);
    printLine("");
    printLine(usage);
    return ParseOutcome::kError;
}

ParseOutcome OptionParser::readWithInputs(int argc, char* argv[],
                                          const std::vector<std::string>& inputs) const {
    std::string error;
    const ParseOutcome outcome = read(argc, argv, error);
    if (outcome != ParseOutcome::kRun) {
        return outcome == ParseOutcome::kUsage ? outcome : refuse(error);
    }
    if (inputs.empty()) {
        return refuse("Missing input filename: give at least one '-in'.");
    }
    return ParseOutcome::kRun;
}

void inputAndOutputOptions(OptionParser& parser, std::vector<std::string>& inputs,
                           std::string& output) {
    parser.option("-in", [&inputs](const std::string& value) {
        inputs.push_back(value);
        return std::string();
    });
    parser.option("-out", [&output](const std::string& value) {
        std::string reason;
        if (!SafeOutput::namesAFile(value, reason)) {
            return invalidValue("-out", reason);
        }
        output = value;
        return std::string();
    });
}

}  // namespace cli
