// qdxctl_docs: the man page and the bash completion of qdxctl, made from its
// command table at build time so that neither can fall behind the program.
//   qdxctl_docs man FILE         roff for man(1)
//   qdxctl_docs completion FILE  a bash completion script
#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "Command.h"
#include "SettingValues.h"

namespace {

using namespace qdx::ctl;

// Text as roff shows it literally: backslashes and minus signs escaped, no
// line read as a request.
std::string roff(std::string_view text)
{
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

void manOptions(std::ostream& out, std::span<const OptionInfo> options)
{
    for (const OptionInfo& option : options) {
        out << ".TP\n";
        if (option.shortName)
            out << "\\fB\\-" << option.shortName << "\\fR, ";
        out << "\\fB" << roff(option.name) << "\\fR";
        if (!option.value.empty())
            out << " \\fI" << roff(option.value) << "\\fR";
        out << "\n" << roff(option.help) << "\n";
    }
}

void manPage(std::ostream& out)
{
    out << ".TH QDXCTL 1 \"\" \"" << roff(versionLine("qdxctl")) << "\" \"User Commands\"\n"
        << ".SH NAME\nqdxctl \\- the QDX camera from the command line\n"
        << ".SH SYNOPSIS\n.B qdxctl\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGUMENTS\\fR]\n.br\n"
        << ".B qdxctl\n\\fICOMMAND\\fR \\fB\\-\\-help\\fR\n.br\n.B qdxctl \\-\\-help\n.br\n.B qdxctl \\-\\-version\n"
        << ".SH DESCRIPTION\n"
        << "qdxctl drives the QDX camera from scripts and the shell, through the camera library "
           "(libQDX_API), with the viewer's names, units, rules and files. Results go to standard output, "
           "messages and progress to standard error.\n"
        << ".PP\nOptions of a command may come anywhere after it, as \\fB\\-\\-name value\\fR, "
           "\\fB\\-\\-name=value\\fR or, where it has one, \\fB\\-n value\\fR; \\fB\\-\\-\\fR ends them, so that "
           "a file name may start with \\fB\\-\\fR. A FILE given as \\fB\\-\\fR is standard input (files read) or "
           "standard output (files written); a picture or table then fills standard output alone and its "
           "message goes to standard error. \\fB\\-\\-json\\fR prints a command's result as one JSON object.\n"
        << ".SH OPTIONS\nThese come before the command.\n";
    manOptions(out, globalOptions());
    out << ".SH COMMANDS\n";
    for (const CommandEntry& command : commandTable()) {
        out << ".SS \"" << roff(command.name);
        if (!command.operands.empty())
            out << " " << roff(command.operands);
        out << "\"\n" << roff(command.summary) << "\n";
        if (!command.details.empty())
            out << ".PP\n.nf\n" << roff(command.details) << "\n.fi\n";
        if (!command.options.empty()) {
            out << ".RS\n";
            manOptions(out, command.options);
            out << ".RE\n";
        }
    }
    out << ".SH SETTINGS\nThe names \\fBget\\fR, \\fBset\\fR and \\fB\\-\\-set\\fR take, with their values.\n"
        << ".PP\n.nf\n" << roff(settingsHelp()) << ".fi\n"
        << ".SH ENVIRONMENT\n.TP\n.B QDX_CAMERA\n\\fBsim\\fR: the simulated camera built into the library "
           "instead of a camera on USB.\n"
        << ".SH EXIT STATUS\n0 success; 1 no camera, a failed transfer or a file not written; 2 bad usage or "
           "value, nothing sent. SIGINT, SIGTERM and SIGHUP end a command through its normal end with 128 + "
           "the signal: 130, 143, 129.\n"
        << ".SH SEE ALSO\n.BR QDX_Viewer (1)\n";
}

// One word of a usage line ("save|load", "[FILE]", "NAME=VALUE...") as the
// completion offers it.
struct Slot {
    enum Kind { Words, File, Setting, Assignment, Nothing } kind = Nothing;
    std::string words;  // Words: the alternatives
    bool repeats = false;
};

Slot slotOf(std::string token)
{
    Slot slot;
    if (token.size() >= 3 && token.ends_with("..."))
        slot.repeats = true, token.resize(token.size() - 3);
    if (token.starts_with('['))
        token = token.substr(1);
    if (token.ends_with(']'))
        token.pop_back();
    if (token.size() >= 3 && token.ends_with("..."))
        slot.repeats = true, token.resize(token.size() - 3);
    if (token.starts_with("FILE") || token.starts_with("OUT"))
        slot.kind = Slot::File;
    else if (token == "NAME")
        slot.kind = Slot::Setting;
    else if (token == "NAME=VALUE")
        slot.kind = Slot::Assignment;
    else if (!token.empty() && std::islower(static_cast<unsigned char>(token[0]))) {
        slot.kind = Slot::Words;
        for (char& c : token)
            if (c == '|')
                c = ' ';
        slot.words = token;
    }
    return slot;
}

// Every spelling of the options, and the help's.
std::string allOptionWords(std::span<const OptionInfo> options)
{
    std::string words;
    for (const OptionInfo& option : options) {
        words += std::string(option.name) + " ";
        if (option.shortName)
            words += std::string{'-', option.shortName, ' '};
    }
    if (words.find("--help ") == std::string::npos)
        words += "--help -h";
    return words;
}

// The case patterns of the options that take a value, and what each offers.
void valueCases(std::ostream& out, std::span<const OptionInfo> options, std::string_view indent)
{
    for (const OptionInfo& option : options) {
        if (option.value.empty())
            continue;
        out << indent << option.name;
        if (option.shortName)
            out << "|-" << option.shortName;
        out << ") ";
        std::string value(option.value);
        // A value of words offers them; any other (a number, a region) nothing.
        if (option.name == "--set")
            out << "_qdxctl_settings =; ";
        else if (value.find('|') != std::string::npos &&
                 std::none_of(value.begin(), value.end(), [](char c) { return std::isupper(static_cast<unsigned char>(c)); })) {
            for (char& c : value)
                if (c == '|')
                    c = ' ';
            out << "COMPREPLY=($(compgen -W '" << value << "' -- \"$cur\")); ";
        }
        out << "return ;;\n";
    }
}

void completion(std::ostream& out)
{
    std::string settings;
    for (int i = 0; i < qdx::viewer::kSettingCount; ++i)
        settings += Target{static_cast<qdx::viewer::SettingId>(i), 0}.name() + " ";  // reg:N is left to the user

    out << "# bash completion for qdxctl, made from its command table by qdxctl_docs.\n\n"
        << "_qdxctl_settings()\n{\n"
        << "    # $1: '=' after each name (set), or nothing (get)\n"
        << "    local names='" << settings << "'\n"
        << "    COMPREPLY=($(compgen -W \"$names\" -- \"$cur\"))\n"
        << "    if [[ $1 == = ]]; then\n"
        << "        COMPREPLY=(\"${COMPREPLY[@]/%/=}\")\n"
        << "        compopt -o nospace\n"
        << "    fi\n}\n\n"
        << "_qdxctl()\n{\n"
        << "    local cur prev words cword\n"
        << "    _init_completion || return\n\n"
        << "    # The command: the first word that is no option before it nor its value.\n"
        << "    local i command= at=0\n"
        << "    for ((i = 1; i < cword; i++)); do\n"
        << "        case ${words[i]} in\n"
        << "            --set|-c|--wait|-w) ((i++)) ;;\n"
        << "            -*) ;;\n"
        << "            *) command=${words[i]}; at=$i; break ;;\n"
        << "        esac\n"
        << "    done\n\n"
        << "    if [[ -z $command ]]; then\n"
        << "        case $prev in\n";
    valueCases(out, globalOptions(), "            ");
    out << "        esac\n"
        << "        if [[ $cur == -* ]]; then\n"
        << "            COMPREPLY=($(compgen -W '" << allOptionWords(globalOptions()) << "' -- \"$cur\"))\n"
        << "        else\n"
        << "            COMPREPLY=($(compgen -W '";
    for (const CommandEntry& command : commandTable())
        out << command.name << " ";
    out << "' -- \"$cur\"))\n"
        << "        fi\n"
        << "        return\n"
        << "    fi\n\n"
        << "    # The operands before this word; an option's value is none.\n"
        << "    local n=0 takes=' '\n"
        << "    case $command in\n";
    for (const CommandEntry& command : commandTable()) {
        std::string valued;
        for (const OptionInfo& option : command.options)
            if (!option.value.empty())
                valued += std::string(option.name) + (option.shortName ? std::string(" -") + option.shortName : "") +
                          " ";
        out << "        " << command.name << ") takes=' " << valued << "' ;;\n";
    }
    out << "    esac\n"
        << "    local ended=\n"
        << "    for ((i = at + 1; i < cword; i++)); do\n"
        << "        if [[ -z $ended && ${words[i]} == -- ]]; then ended=1\n"
        << "        elif [[ -z $ended && ${words[i]} == -?* ]]; then\n"
        << "            [[ $takes == *\" ${words[i]} \"* ]] && ((i++))\n"
        << "        else ((n++))\n"
        << "        fi\n"
        << "    done\n\n"
        << "    case $command in\n";
    for (const CommandEntry& command : commandTable()) {
        out << "    " << command.name << ")\n"
            << "        case $prev in\n";
        valueCases(out, command.options, "            ");
        out << "        esac\n"
            << "        if [[ $cur == -* ]]; then\n"
            << "            COMPREPLY=($(compgen -W '" << allOptionWords(command.options) << "' -- \"$cur\"))\n"
            << "            return\n"
            << "        fi\n";
        std::vector<Slot> slots;
        std::istringstream tokens{std::string(command.operands)};
        for (std::string token; tokens >> token;)
            slots.push_back(slotOf(token));
        if (!slots.empty()) {
            out << "        case $n in\n";
            for (std::size_t k = 0; k < slots.size(); ++k) {
                const Slot& slot = slots[k];
                out << "            " << k << (slot.repeats ? "|*" : "") << ") ";
                switch (slot.kind) {
                case Slot::Words:
                    out << "COMPREPLY=($(compgen -W '" << slot.words << "' -- \"$cur\"))";
                    break;
                case Slot::File:
                    out << "_filedir";
                    break;
                case Slot::Setting:
                    out << "_qdxctl_settings";
                    break;
                case Slot::Assignment:
                    out << "_qdxctl_settings =";
                    break;
                case Slot::Nothing:
                    out << ":";
                    break;
                }
                out << " ;;\n";
            }
            out << "        esac\n";
        }
        out << "        ;;\n";
    }
    out << "    esac\n} &&\n    complete -F _qdxctl qdxctl\n";
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string what = argc == 3 ? argv[1] : "";
    if (what != "man" && what != "completion") {
        std::cerr << "usage: qdxctl_docs man|completion FILE\n";
        return 2;
    }
    std::ostringstream text;
    if (what == "man")
        manPage(text);
    else
        completion(text);
    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    if (!(file << text.str()) || !file.flush()) {
        std::cerr << "qdxctl_docs: " << argv[2] << " could not be written\n";
        return 1;
    }
    return 0;
}
