"""The manual page and the bash completion of tintavo-cli against what the program itself says.

Both are made from the command table at build time; here they are checked against the program's
own `--help` texts, so that a command or option the help shows but the page or the completion
misses (or one they offer that the program does not take) fails.

    python3 test_cli_docs.py TINTAVO_CLI PACKAGING_BUILD_FOLDER
"""
import os
import re
import subprocess
import sys
import tempfile


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


def commands(cli):
    out = run([cli, "--help"]).stdout
    listing = out.split("commands:\n", 1)[1].split("\n\n", 1)[0]
    return [line.split()[0] for line in listing.splitlines() if line.strip()]


def command_help(cli, command):
    """(arguments, {option: value name or None}, option help texts) from COMMAND --help."""
    out = run([cli, command, "--help"]).stdout
    arguments, options, texts = [], {}, {}
    section = None
    current = None
    for line in out.splitlines():
        if line in ("arguments:", "options:"):
            section = line[:-1]
            continue
        if not line.startswith("  "):  # a blank line or the closing notes
            current = None
            continue
        m = re.match(r"^  (\S+)(?: (\S+))?(?:\s{2,}(.*)|$)", line)
        if m and section == "arguments":
            arguments.append(m.group(1))
        elif m and section == "options" and m.group(1).startswith("-"):
            current = m.group(1)
            options[current] = m.group(2)
            texts[current] = m.group(3) or ""
        elif current:
            texts[current] += " " + line.strip()
    return arguments, options, texts


def man_sections(page_text):
    """The formatted page's COMMANDS section cut into one text per command."""
    body = page_text.split("COMMANDS", 1)[1].split("EXIT STATUS", 1)[0]
    sections = {}
    name = None
    for line in body.splitlines():
        m = re.match(r"^   (\S+)$", line)  # a subsection heading, indented three columns
        if m:
            name = m.group(1)
            sections[name] = ""
        elif name:
            sections[name] += line + "\n"
    return sections


def complete(completion, words, cwd=None):
    """COMPREPLY of the completion function for the words typed so far (the last is the one
    being completed)."""
    quoted = " ".join("'" + w.replace("'", "'\\''") + "'" for w in words)
    script = (f"source '{completion}'; COMP_WORDS=({quoted}); COMP_CWORD={len(words) - 1}; "
              "_tintavo_cli; printf '%s\\n' \"${COMPREPLY[@]}\"")
    out = run(["bash", "-c", script], cwd=cwd)
    return {line for line in out.stdout.splitlines() if line}


def main():
    cli, made = sys.argv[1], sys.argv[2]
    page_file = os.path.join(made, "tintavo-cli.1")
    completion = os.path.join(made, "tintavo-cli.bash")
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)

    formatted = run(["groff", "-man", "-Tutf8", "-ww", "-P-cbou", "-rLL=200n", page_file],
                    env=dict(os.environ, LC_ALL="C.UTF-8"))
    check(formatted.stderr.strip() == "", f"groff warns about the manual page: {formatted.stderr.strip()}")
    page = formatted.stdout.replace("\u2010", "-").replace("\u2212", "-")
    sections = man_sections(page)

    names = commands(cli)
    check(len(names) >= 7, f"tintavo-cli --help lists only {names}")
    check(set(sections) == set(names), f"the manual page documents {sorted(sections)}, the program has {names}")
    check(complete(completion, ["tintavo-cli", ""]) == set(names) | {"--help", "--version"},
          "the first word does not complete to the command names")

    for command in names:
        arguments, options, texts = command_help(cli, command)
        check(options, f"{command} --help lists no options")
        section = sections.get(command, "")
        for argument in arguments:
            check(re.search(rf"\b{re.escape(argument)}\b", section),
                  f"the manual page does not name {command}'s argument {argument}")
        for option, value in options.items():
            shown = option + (f" {value}" if value else "")
            check(shown in section, f"the manual page lacks \"{shown}\" under {command}")
            # The option's help as the program prints it, spaces aside.
            check(" ".join(texts[option].split()) in " ".join(section.split()),
                  f"the manual page explains {command} {option} otherwise than --help")
        offered = complete(completion, ["tintavo-cli", command, "-"])
        check(offered == set(options) | {"--help"},
              f"{command} - completes to {sorted(offered)}, --help lists {sorted(options)}")

        # Values: an option with a fixed list of values completes to that list; one that names a
        # file completes file names; a flag takes no value, so the next word is an option again.
        for option, value in options.items():
            after = complete(completion, ["tintavo-cli", command, option, ""])
            if option == "--chart":
                check(after == set(value.split("|")), f"{command} --chart completes to {sorted(after)}")
            elif option == "--bits":
                listed = set(re.findall(r"\b\d+\b", texts[option].split("(default")[0]))
                check(after == listed, f"{command} --bits completes to {sorted(after)}, the help says {listed}")
            elif option == "--type":
                listed = set(re.findall(r"\.(\w+)", texts[option].split("(default")[0]))
                check(after == listed and "png" in after,
                      f"{command} --type completes to {sorted(after)}, the help says {sorted(listed)}")
            elif value is None:
                check(complete(completion, ["tintavo-cli", command, option, "-"]) == set(options) | {"--help"},
                      f"after the flag {option}, {command} does not complete options")
        with tempfile.TemporaryDirectory() as folder:
            open(os.path.join(folder, "frame-0001.png"), "w").close()
            if "-o" in options:
                check(complete(completion, ["tintavo-cli", command, "-o", "fr"], cwd=folder) == {"frame-0001.png"},
                      f"{command} -o does not complete file names")
            check(complete(completion, ["tintavo-cli", command, "fr"], cwd=folder) == {"frame-0001.png"},
                  f"{command}'s arguments do not complete file names")

    for failure in failures:
        print("FAIL", failure)
    print(f"{len(names)} commands checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
