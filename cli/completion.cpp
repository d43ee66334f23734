// tessaro completion bash|zsh: a shell completion script, written from the
// tool's own CLI11 model, so every command and option (added later too) is in
// it. The build writes both scripts this way and the package installs them.
#include <iostream>

#include "cli.h"
#include "session.h"

namespace tessaro::cli {

namespace {

// A command as completion sees it: its path ("config/set"), the words that
// may follow it (its commands and options), and the options that take a
// value, with what completes that value.
struct Completion {
    struct Valued {
        std::string name;     // "--record" or "-w"
        std::string values;   // "FILES", or the choices "a b", or "" for none
        bool optional;        // the value may be left out (--sim [FILE])
    };
    struct Word {
        std::string name, description;
    };
    std::string path;
    std::vector<Word> words;
    std::vector<Valued> valued;
};

// "a" and "b" from the type name "TEXT:{a,b}" of a CLI::IsMember check.
std::string choices(const std::string &typeName) {
    const size_t open = typeName.find(":{"), close = typeName.find('}', open);
    if (open == std::string::npos || close == std::string::npos) return "";
    std::string list = typeName.substr(open + 2, close - open - 2);
    for (char &c : list)
        if (c == ',') c = ' ';
    return list;
}

std::string firstSentence(std::string text) {
    const size_t end = text.find(". ");
    if (end != std::string::npos) text.resize(end);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

// The options of `command`: with `helpOnly` its help options alone, with
// `global` all but those (the global options: every command has help options
// of its own).
void describe(const CLI::App &command, bool helpOnly, bool global, Completion &into) {
    for (const CLI::Option *option : command.get_options()) {
        if (option->get_group().empty() || !option->nonpositional()) continue;
        const bool help = option == command.get_help_ptr() || option == command.get_help_all_ptr();
        if ((helpOnly && !help) || (global && help)) continue;
        const std::string values = option->get_type_name().find("FILE") != std::string::npos
                                       ? "FILES"
                                       : choices(option->get_type_name());
        std::vector<std::string> names;
        for (const std::string &name : option->get_snames()) names.push_back("-" + name);
        for (const std::string &name : option->get_lnames()) names.push_back("--" + name);
        for (const std::string &name : names) {
            into.words.push_back({name, firstSentence(option->get_description())});
            if (option->get_items_expected_max() > 0)
                into.valued.push_back({name, values, option->get_items_expected_min() == 0});
        }
    }
}

// Every command below `command` (and itself), depth first.
void collect(const CLI::App &command, const std::string &path, std::vector<Completion> &into) {
    Completion completion{path, {}, {}};
    for (const CLI::App *sub : command.get_subcommands({}))
        if (!sub->get_group().empty())
            completion.words.push_back({sub->get_name(), firstSentence(sub->get_description())});
    describe(command, path.empty(), false, completion);
    into.push_back(completion);
    for (const CLI::App *sub : command.get_subcommands({}))
        if (!sub->get_group().empty())
            collect(*sub, path.empty() ? sub->get_name() : path + "/" + sub->get_name(), into);
}

// Single quotes for the shell.
std::string shellQuoted(const std::string &text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A candidate as the script lists it: bash takes the name, zsh's _describe
// "name:description" (a ':' inside escaped).
std::string candidate(const Completion::Word &word, bool zsh, const std::string &indent) {
    std::string entry = word.name;
    if (zsh) {
        entry += ':';
        for (char c : word.description) entry += c == ':' ? std::string("\\:") : std::string(1, c);
    }
    return "\n" + indent + shellQuoted(entry);
}

std::string valueCases(const std::vector<Completion::Valued> &valued, bool zsh,
                       const std::string &indent) {
    std::string files, choices, none, optionalFiles;
    for (const Completion::Valued &option : valued) {
        if (option.values == "FILES" && option.optional)
            optionalFiles += (optionalFiles.empty() ? "" : "|") + option.name;
        else if (option.values == "FILES")
            files += (files.empty() ? "" : "|") + option.name;
        else if (!option.values.empty())
            choices += indent + "(" + option.name + ") " +
                       (zsh ? "compadd -- " + option.values
                            : "COMPREPLY=($(compgen -W " + shellQuoted(option.values) + " -- \"$cur\"))") +
                       "; return ;;\n";
        else
            none += (none.empty() ? "" : "|") + option.name;
    }
    std::string text;
    if (!files.empty())
        text += indent + "(" + files + ") " +
                (zsh ? "_files" : "COMPREPLY=($(compgen -f -- \"$cur\"))") + "; return ;;\n";
    text += choices;
    if (!none.empty()) text += indent + "(" + none + ") return ;;\n";
    // A file, or what else may follow.
    if (!optionalFiles.empty())
        text += indent + "(" + optionalFiles + ") " +
                (zsh ? "_files" : "COMPREPLY=($(compgen -f -- \"$cur\"))") + " ;;\n";
    return text;
}

std::string script(const CLI::App &app, bool zsh) {
    std::vector<Completion> commands;
    collect(app, "", commands);
    Completion global{"", {}, {}};
    describe(app, false, true, global);

    const std::string name = app.get_name();
    std::string text = zsh ? "#compdef " + name + "\n" : "";
    text += "# " + std::string(zsh ? "zsh" : "bash") + " completion for " + name +
            ", written by `" + name + " completion " + (zsh ? "zsh" : "bash") + "`.\n";
    text += "_" + name + "() {\n";
    text += zsh ? "    local cur=${words[CURRENT]} prev=${words[CURRENT-1]} command= word i\n"
                  "    local -a candidates\n"
                  "    for ((i = 2; i < CURRENT; i++)); do\n"
                  "        word=${words[i]}\n"
                : "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command= word i\n"
                  "    local candidates=()\n"
                  "    COMPREPLY=()\n"
                  "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
                  "        word=${COMP_WORDS[i]}\n";
    // The command the words so far name: only a command's name moves on,
    // so the values of options never count.
    std::string paths;
    for (const Completion &command : commands)
        if (!command.path.empty()) {
            const size_t slash = command.path.rfind('/');
            paths += (paths.empty() ? "" : "|") +
                     (slash == std::string::npos ? "/" + command.path : command.path);
        }
    text += "        case \"$command/$word\" in\n"
            "        (" + paths + ") command=${command:+$command/}$word ;;\n"
            "        esac\n"
            "    done\n"
            "    case $command in\n";
    for (const Completion &command : commands) {
        text += "    (" + (command.path.empty() ? std::string("''") : command.path) + ")\n";
        const std::string cases = valueCases(command.valued, zsh, "            ");
        if (!cases.empty()) text += "        case $prev in\n" + cases + "        esac\n";
        text += "        candidates=(";
        for (const Completion::Word &word : command.words) text += candidate(word, zsh, "            ");
        text += ") ;;\n";
    }
    text += "    esac\n"
            "    # The global options, after any command.\n"
            "    case $prev in\n" +
            valueCases(global.valued, zsh, "    ") + "    esac\n    candidates+=(";
    for (const Completion::Word &word : global.words) text += candidate(word, zsh, "        ");
    text += ")\n";
    text += zsh ? "    _describe -t commands " + name + " candidates\n}\n_" + name + " \"$@\"\n"
                : "    COMPREPLY+=($(compgen -W \"${candidates[*]}\" -- \"$cur\"))\n}\n"
                  "complete -F _" + name + " " + name + "\n";
    return text;
}

}  // namespace

void add_completion_command(CLI::App &app, Cli &cli) {
    auto shell = std::make_shared<std::string>();
    CLI::App *command = app.add_subcommand(
        "completion", "Print a shell completion script for bash or zsh (the package installs "
                      "both): tessaro completion bash > ~/.local/share/bash-completion/completions/tessaro");
    command->add_option("shell", *shell, "bash or zsh")->required()->check(CLI::IsMember({"bash", "zsh"}));
    command->callback([&app, &cli, shell] {
        cli.needsReader = false;
        cli.action = [&app, shell](Session &) {
            std::cout << script(app, *shell == "zsh");
            return kExitOk;
        };
    });
}

}  // namespace tessaro::cli
