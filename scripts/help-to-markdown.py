#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes docs/ from the program's help pages, so that a forge shows the user
guide and the language reference without the program.

The help pages (share/tarn/help/*.html) are the one source: each becomes
docs/NAME.md, and the Contents tab (contents.txt) becomes docs/README.md.
The Markdown files are committed; run this after changing the help:

    scripts/help-to-markdown.py            writes docs/
    scripts/help-to-markdown.py --check    says which files are out of step
                                           (exit status 1), writes nothing
"""

import html.parser
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
HELP = ROOT / "share" / "tarn" / "help"
DOCS = ROOT / "docs"
# Pages in docs/ that other scripts make: scripts/bench.sh writes the
# performance page from its own run.
OTHERS = {"performance.md"}
NOTICE = "<!-- Made by scripts/help-to-markdown.py from share/tarn/help/{}; edit that. -->\n\n"


def link(href):
    """A help page's link, pointing at the Markdown page instead."""
    if re.match(r"^[a-z]+:", href):
        return href
    return re.sub(r"\.html(?=$|#)", ".md", href)


def escape(text):
    return re.sub(r"([\\`*_\[\]<>])", r"\\\1", text)


def code_span(text):
    fence = "``" if "`" in text else "`"
    pad = " " if text.startswith("`") or text.endswith("`") else ""
    return fence + pad + text + pad + fence


class Converter(html.parser.HTMLParser):
    """HTML of the kind the help pages hold to GitHub-flavoured Markdown."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.blocks = []  # finished Markdown blocks
        self.inline = []  # the inline text of the block being read
        self.skip = 0  # inside <head>
        self.code = 0
        self.pre = None
        self.links = []  # hrefs of the open <a> elements
        self.lists = []  # "ul" or "ol" with the next number
        self.table = None  # rows of cells while a table is read
        self.row = None
        self.anchor = None  # an <a name> waiting for its heading
        self.heading = False

    # Inline text

    def text(self):
        joined = re.sub(r"[ \t\r\n]+", " ", "".join(self.inline)).strip()
        self.inline = []
        return joined

    def block(self, text):
        if text:
            self.blocks.append(text)

    def handle_data(self, data):
        if self.skip:
            return
        if self.pre is not None:
            self.pre.append(data)
        elif self.code:
            self.inline.append(data)
        else:
            self.inline.append(escape(data))

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag in ("head", "title"):
            self.skip += 1
        elif tag == "pre":
            self.close_paragraph()
            self.pre = []
        elif tag == "code" and self.pre is None:
            self.code += 1
            self.inline.append("\0code(")
        elif tag in ("b", "strong"):
            self.inline.append("**")
        elif tag in ("i", "em"):
            self.inline.append("*")
        elif tag == "a" and "href" in attrs:
            self.links.append(link(attrs["href"]))
            self.inline.append("[")
        elif tag == "a" and "name" in attrs:
            self.links.append(None)
            if self.heading:
                self.anchor = attrs["name"]
            else:
                self.inline.append('<a id="%s"></a>' % attrs["name"])
        elif tag == "br":
            self.inline.append("<br>" if self.row is not None else "\\\n")
        elif tag in ("p", "h1", "h2", "h3"):
            self.close_paragraph()
            self.heading = tag != "p"
        elif tag in ("ul", "ol"):
            self.close_item()
            self.lists.append([tag, 1])
        elif tag == "li":
            self.close_item()
        elif tag == "table":
            self.close_paragraph()
            self.table = []
        elif tag == "tr":
            self.row = []
        elif tag in ("td", "th"):
            self.inline = []

    def handle_endtag(self, tag):
        if tag in ("head", "title"):
            self.skip -= 1
        elif tag == "pre":
            body = "".join(self.pre).strip("\n")
            self.pre = None
            self.block("```\n" + body + "\n```")
        elif tag == "code" and self.pre is None:
            self.code -= 1
            raw = "".join(self.inline)
            start = raw.rindex("\0code(")
            self.inline = [raw[:start], code_span(raw[start + 6 :])]
        elif tag in ("b", "strong"):
            self.inline.append("**")
        elif tag in ("i", "em"):
            self.inline.append("*")
        elif tag == "a" and self.links:
            href = self.links.pop()
            if href is not None:
                self.inline.append("](" + href + ")")
        elif tag == "p":
            self.close_paragraph()
        elif tag in ("h1", "h2", "h3"):
            level = int(tag[1])
            self.heading = False
            anchor = '<a id="%s"></a>\n' % self.anchor if self.anchor else ""
            self.anchor = None
            self.block(anchor + "#" * level + " " + self.text())
        elif tag == "li":
            self.close_item()
        elif tag in ("ul", "ol"):
            self.close_item()
            self.lists.pop()
        elif tag in ("td", "th"):
            self.row.append(self.text().replace("|", "\\|"))
        elif tag == "tr":
            self.table.append(self.row)
            self.row = None
        elif tag == "table":
            rows, self.table = self.table, None
            width = max(len(r) for r in rows)
            rows = [r + [""] * (width - len(r)) for r in rows]
            lines = ["| " + " | ".join(rows[0]) + " |", "|" + "---|" * width]
            lines += ["| " + " | ".join(r) + " |" for r in rows[1:]]
            self.block("\n".join(lines))

    def close_paragraph(self):
        if self.lists:
            return
        self.block(self.text())

    def close_item(self):
        text = self.text()
        if not text or not self.lists:
            return
        kind = self.lists[-1]
        mark = "- " if kind[0] == "ul" else "%d. " % kind[1]
        kind[1] += 1
        indent = "  " * (len(self.lists) - 1)
        item = indent + mark + text
        # Items of one list stay together, without blank lines between them.
        if self.blocks and self.blocks[-1].lstrip().startswith(("- ", "1. ")) and \
                re.match(r"^\s*(- |\d+\. )", self.blocks[-1].splitlines()[-1]):
            self.blocks[-1] += "\n" + item
        else:
            self.blocks.append(item)

    def markdown(self):
        self.close_paragraph()
        return "\n\n".join(self.blocks) + "\n"


def page(path):
    converter = Converter()
    converter.feed(path.read_text(encoding="utf-8"))
    converter.close()
    return NOTICE.format(path.name) + converter.markdown()


def contents():
    """The Contents tab as nested lists, beside the help's own index page."""
    lines = ["# Tarn documentation", "",
             "The user guide and the language reference, as the program's Help "
             "window shows them (F1).", ""]
    for entry in (HELP / "contents.txt").read_text(encoding="utf-8").splitlines():
        if not entry.strip() or entry.startswith("#"):
            continue
        depth = (len(entry) - len(entry.lstrip(" "))) // 2
        title, target = entry.strip().split("|", 1)
        lines.append("  " * depth + "- [" + escape(title) + "](" + link(target) + ")")
    return NOTICE.format("contents.txt") + "\n".join(lines) + "\n"


def wanted():
    files = {"README.md": contents()}
    for path in sorted(HELP.glob("*.html")):
        files[path.stem + ".md"] = page(path)
    return files


def main(argv):
    check = argv[1:] == ["--check"]
    if argv[1:] and not check:
        sys.stderr.write(__doc__)
        return 2
    files = wanted()
    made = {p.name for p in DOCS.glob("*.md")}
    stale = sorted(name for name, text in files.items()
                   if not (DOCS / name).exists()
                   or (DOCS / name).read_text(encoding="utf-8") != text)
    extra = sorted(made - set(files) - OTHERS)
    if check:
        for name in stale:
            print("docs/%s is out of step with the help" % name)
        for name in extra:
            print("docs/%s belongs to no help page" % name)
        if stale or extra:
            print("run scripts/help-to-markdown.py and commit docs/")
        return 1 if stale or extra else 0
    DOCS.mkdir(exist_ok=True)
    for name in stale:
        (DOCS / name).write_text(files[name], encoding="utf-8")
    for name in extra:
        (DOCS / name).unlink()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
