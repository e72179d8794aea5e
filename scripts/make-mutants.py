#!/usr/bin/env python3
"""Makes mutants of the product code by rule, for scripts/mutate.sh --generate.

Each mutant is one small change of one line (or, for a removed early return, of the two lines of
an `if` and its `return`), written as a patch whose first line says what it plants, like the
hand-written faults of tests/mutants/. The rules:

  relational   a comparison moved across its boundary (< and <=, > and >=) or negated (== and !=)
  arithmetic   + and -, * and /, += and -=
  constant     an integer literal moved up or down by one
  logical      && and ||
  negation     a ! dropped
  statement    an expression statement (a call, an assignment, ++ or --) removed
  return       an early return removed: `if (...)` with its `return ...;`
  arguments    the two arguments of a call swapped

The mutants are spread over every library folder: the folders are shuffled by the seed and take
the mutants in turn, and within a folder a rule is drawn first, then one of its places, so that
the numerous places of one rule (constants) do not crowd out the others. The same seed on the
same code makes the same mutants.

  make-mutants.py --count N --seed S --out DIR [--root ROOT]
"""

import argparse
import difflib
import os
import random
import re
import sys

# Files no test runs: the window program's own main (the suite drives the window's library).
NOT_RUN = {"app/main.cpp"}

# Calls whose two arguments may be swapped without changing anything.
SYMMETRIC = {"max", "min", "qMax", "qMin", "std::max", "std::min", "swap", "std::swap",
             "std::hypot", "hypot", "qFuzzyCompare", "std::gcd"}

# Statements that promise no behaviour a test could see: memory reserved ahead, a variable
# marked used.
NO_BEHAVIOUR = re.compile(r"\b(reserve|squeeze|shrink_to_fit|Q_UNUSED|Q_ASSERT|qDebug)\b")

# Where windows are laid out in twips: a position or size moved by one twip (a fifteenth of a
# pixel) lands on the same pixel 14 times in 15, so such constants are left alone.
TWIPS_LAYOUT = re.compile(r"PlaceInTwips|Placed<|TwipsRect|\bbutton\(|\w+Twips\s*=")
# The windows' own sizes and positions, named so, are twips as well.
WINDOW_FOLDERS = ("app", "widgets", "settings/ui", "canvas/ui", "loading/ui")
TWIPS_NAMED = re.compile(
    r"constexpr (int|Twips|double) \w*(Width|Height|Left|Top|Right|Bottom|Drop|Gap|Margin)\w* =")

KEYWORDS = {"return", "const", "auto", "static", "constexpr", "if", "else", "for", "while",
            "switch", "case", "default", "break", "continue", "using", "namespace", "struct",
            "class", "enum", "template", "typedef", "delete", "new", "throw", "goto", "do",
            "public", "private", "protected", "signals", "slots", "emit", "friend", "virtual",
            "inline", "explicit", "operator", "unsigned", "signed", "int", "bool", "char",
            "double", "float", "void", "long", "short", "extern", "thread_local", "mutable",
            "co_return", "Q_OBJECT", "Q_SIGNALS", "Q_SLOTS"}


def library_folders(root):
    """Folders whose CMakeLists.txt makes a library of the program."""
    folders = []
    for directory, subdirs, files in os.walk(root):
        subdirs[:] = sorted(d for d in subdirs
                            if not d.startswith(".") and not d.startswith("build"))
        if "CMakeLists.txt" not in files:
            continue
        with open(os.path.join(directory, "CMakeLists.txt"), encoding="utf-8") as f:
            if "tessivo_library(" in f.read():
                folders.append(os.path.relpath(directory, root))
    return sorted(folders)


def code_mask(text):
    """For each character, whether it is code: not inside a comment, a string or a character
    literal, and not on a preprocessor line."""
    mask = [True] * len(text)
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c in " \t":
            i += 1
            continue
        if line_start and c == "#":
            j = text.find("\n", i)
            j = n if j < 0 else j
            while j > 0 and text[j - 1] == "\\" and j < n:
                j = text.find("\n", j + 1)
                j = n if j < 0 else j
            for k in range(i, j):
                mask[k] = False
            i = j
            continue
        line_start = c == "\n"
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                mask[k] = False
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            for k in range(i, j):
                mask[k] = False
            i = j
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + (m.group(1) if m else "") + '"', i)
            j = n if end < 0 else end + len(m.group(1) if m else "") + 2
            for k in range(i, j):
                mask[k] = False
            i = j
        elif c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            for k in range(i, j):
                mask[k] = False
            i = j
        else:
            i += 1
    # What the compiler checks (static_assert) is no behaviour: a fault there stops the build or
    # changes nothing.
    for m in re.finditer(r"\bstatic_assert\s*\(", text):
        if not mask[m.start()]:
            continue
        depth, j = 0, m.end() - 1
        while j < n:
            if mask[j] and text[j] == "(":
                depth += 1
            elif mask[j] and text[j] == ")":
                depth -= 1
                if depth == 0:
                    break
            j += 1
        for k in range(m.start(), min(j + 1, n)):
            mask[k] = False
    return mask


class Site:
    def __init__(self, path, line, rule, new_lines, what, remove=1):
        self.path = path        # relative to the root
        self.line = line        # 0-based, the first line replaced
        self.rule = rule
        self.new_lines = new_lines  # what replaces lines line .. line + remove - 1
        self.remove = remove
        self.what = what


def is_code(mask, offset, start, end):
    return all(mask[offset + k] for k in range(start, end))


def balanced(s):
    depth = 0
    for c in s:
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth < 0:
                return False
    return depth == 0


def top_level_args(s):
    """The comma-separated parts of s at bracket depth 0, or None where brackets do not close."""
    parts, depth, start = [], 0, 0
    for i, c in enumerate(s):
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
        elif c == "<" and i > 0 and (s[i - 1].isalnum() or s[i - 1] in "_:") \
                and i + 1 < len(s) and s[i + 1] != " ":
            depth += 1  # a template's arguments, as clang-format writes them
        elif c == ">" and depth > 0 and i > 0 and s[i - 1] != " " and s[i - 1] != "-":
            depth -= 1
        elif c == "," and depth == 0:
            parts.append(s[start:i])
            start = i + 1
        if depth < 0:
            return None
    parts.append(s[start:])
    return parts if depth == 0 else None


TYPED_PARAMETER = re.compile(
    r"^\s*(const\s+)?[\w:]+(<.*>)?\s*[&*]*\s+[&*]*\w+(\s*=.*)?\s*$")


def sites_in(root, path):
    with open(os.path.join(root, path), encoding="utf-8") as f:
        text = f.read()
    mask = code_mask(text)
    lines = text.split("\n")
    offsets = []
    at = 0
    for line in lines:
        offsets.append(at)
        at += len(line) + 1
    found = []

    def code_lines_before(index):
        j = index - 1
        while j >= 0:
            stripped = lines[j].strip()
            code = "".join(ch for k, ch in enumerate(lines[j]) if mask[offsets[j] + k]).strip()
            if code:
                return code
            if stripped and not stripped.startswith("//"):
                return stripped
            j -= 1
        return ""

    for index, line in enumerate(lines):
        off = offsets[index]
        code_chars = "".join(ch if mask[off + k] else " " for k, ch in enumerate(line))
        stripped = code_chars.strip()
        if not stripped or "template <" in stripped:
            continue
        location = f"{path}:{index + 1}"

        def replace(start, end, new, rule, what):
            found.append(Site(path, index, rule, [line[:start] + new + line[end:]],
                              f"{location}: {what}"))

        for m in re.finditer(r" (<=|>=|==|!=|<|>) ", code_chars):
            op = m.group(1)
            swap = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}[op]
            replace(m.start(1), m.end(1), swap, "relational", f"{op} made {swap}")
        for m in re.finditer(r" (\+=|-=|\+|-|\*|/) ", code_chars):
            op = m.group(1)
            swap = {"+": "-", "-": "+", "*": "/", "/": "*", "+=": "-=", "-=": "+="}[op]
            if op in "*/" and re.search(r"^\s*/|\*\s*$", code_chars[:m.start(1)]):
                continue
            replace(m.start(1), m.end(1), swap, "arithmetic", f"{op} made {swap}")
        for m in re.finditer(r" (&&|\|\|) ", code_chars):
            op = m.group(1)
            swap = "||" if op == "&&" else "&&"
            replace(m.start(1), m.end(1), swap, "logical", f"{op} made {swap}")
        for m in re.finditer(r"(?<![\w!=<>])!(?!=)(?=[\w(])", code_chars):
            replace(m.start(), m.end(), "", "negation", "a ! dropped")
        for m in re.finditer(r"(?<![\w.'])(\d+|0[xX][0-9a-fA-F]+)([uUlL]*)(?![\w.'])", code_chars):
            if re.search(r"[eE.]$", code_chars[:m.start()]) or \
                    code_chars[m.end():m.end() + 1] in ("e", "E"):
                continue
            literal = m.group(1)
            if TWIPS_LAYOUT.search(code_chars) or (
                    os.path.dirname(path) in WINDOW_FOLDERS and TWIPS_NAMED.search(code_chars)):
                continue
            octal = len(literal) > 1 and literal[0] == "0" and literal[1] not in "xX"
            value = int(literal, 8 if octal else 0)
            for delta in (1, -1):
                moved = value + delta
                if moved < 0:
                    continue
                written = (hex(moved).upper().replace("0X", "0x") if literal.lower().startswith("0x")
                           else "0" + format(moved, "o") if octal else str(moved))
                replace(m.start(1), m.end(1), written, "constant",
                        f"{literal} moved {'up' if delta > 0 else 'down'} to {written}")

        # An expression statement alone on its line, after a statement or a brace.
        before = code_lines_before(index)
        if stripped.endswith(";") and balanced(stripped) and before[-1:] in (";", "{", "}") \
                and not NO_BEHAVIOUR.search(stripped):
            m = re.match(r"^(\+\+|--)?([A-Za-z_][\w.:\->\[\]]*)(\+\+|--)?\s*(\(|=[^=]|\+=|-=|\*=|/=|\|=|&=|\^=|<<=|>>=|;)",
                         stripped)
            first = re.match(r"[A-Za-z_]\w*", stripped.lstrip("+-"))
            if m and first and first.group(0) not in KEYWORDS and (m.group(1) or m.group(3) or m.group(4) != ";"):
                found.append(Site(path, index, "statement", [],
                                  f"{location}: the statement `{line.strip()}` removed"))
        # An early return: `if (...)` then `return ...;` on the next line, without braces.
        if re.match(r"^(\} )?(else )?if \(.*\)$", stripped) and balanced(stripped.lstrip("} ")) \
                and index + 1 < len(lines) and re.match(r"^\s*return\b.*;$", lines[index + 1]) \
                and not stripped.startswith("}") and not stripped.startswith("else"):
            following = lines[index + 2].strip() if index + 2 < len(lines) else ""
            if not following.startswith("else"):
                found.append(Site(path, index, "return", [],
                                  f"{location}: the early return `{line.strip()} "
                                  f"{lines[index + 1].strip()}` removed", remove=2))
        # Two arguments of a call swapped.
        for m in re.finditer(r"([A-Za-z_][\w:]*)(<[\w:, ]*>)?\(", code_chars):
            name = m.group(1)
            if name in KEYWORDS or name in SYMMETRIC or name.split("::")[-1] in SYMMETRIC:
                continue
            start = m.end()
            depth, end = 1, start
            while end < len(code_chars) and depth > 0:
                if code_chars[end] in "([{":
                    depth += 1
                elif code_chars[end] in ")]}":
                    depth -= 1
                end += 1
            if depth != 0:
                continue
            inside = line[start:end - 1]
            args = top_level_args(inside)
            if not args or len(args) != 2:
                continue
            a, b = args[0].strip(), args[1].strip()
            if not a or not b or a == b or any(TYPED_PARAMETER.match(x) for x in (a, b)):
                continue
            if not is_code(mask, off, start, end - 1):
                continue
            replace(start, end - 1, f"{b}, {a}", "arguments", f"the arguments of {name} swapped")
    return found


def patch_for(root, site):
    with open(os.path.join(root, site.path), encoding="utf-8") as f:
        old = f.read().split("\n")
    new = old[:site.line] + site.new_lines + old[site.line + site.remove:]
    diff = difflib.unified_diff([l + "\n" for l in old], [l + "\n" for l in new],
                                f"a/{site.path}", f"b/{site.path}", n=3)
    return (f"Planted fault: {site.what} ({site.rule})\n\n"
            f"diff --git a/{site.path} b/{site.path}\n" + "".join(diff))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--count", type=int, required=True)
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."))
    args = parser.parse_args()
    root = os.path.abspath(args.root)

    rng = random.Random(args.seed)
    by_folder = {}
    for folder in library_folders(root):
        sites = {}
        for name in sorted(os.listdir(os.path.join(root, folder))):
            path = os.path.normpath(os.path.join(folder, name))
            if not name.endswith((".cpp", ".h")) or path in NOT_RUN:
                continue
            for site in sites_in(root, path):
                sites.setdefault(site.rule, []).append(site)
        if sites:
            by_folder[folder] = sites
    folders = sorted(by_folder)
    rng.shuffle(folders)

    os.makedirs(args.out, exist_ok=True)
    chosen = set()
    made = 0
    attempts = 0
    while made < args.count and attempts < args.count * 100:
        attempts += 1
        folder = folders[made % len(folders)]
        rule = rng.choice(sorted(by_folder[folder]))
        site = rng.choice(by_folder[folder][rule])
        key = (site.path, site.line, tuple(site.new_lines), site.remove)
        if key in chosen:
            continue
        chosen.add(key)
        made += 1
        slug = re.sub(r"[^a-z0-9]+", "-", f"{folder}-{rule}".lower()).strip("-")
        with open(os.path.join(args.out, f"g{made:03d}-{slug}.patch"), "w", encoding="utf-8") as f:
            f.write(patch_for(root, site))
    if made < args.count:
        print(f"make-mutants.py: only {made} distinct mutants found", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
