# The head office's page against the counters' own closings, for the tests that
# serve it: the closing receipt's figures as `vek close` prints them, the page's
# tables as a browser built them, and each counter's row of totals compared.
#   python3 PageTotals.py PAGE_HTML TERMINAL_ID/BUSINESS_NUMBER=CLOSING[+CLOSING]...
# (a counter whose journal was made anew: its closings, the old journal's first).
# Also imported by the tests that check more of the page.
import html.parser
import re
import sys

# The closing receipt as vek close prints it: figures by their labels.
LABELS = {"이용권 사용": "voucher-use", "이용권 취소": "voucher-cancel", "큐비캐쉬 승인": "cash-approval",
          "큐비캐쉬 취소": "cash-cancel", "미인쇄 영수증": "owed", "결과 미확인": "unknown",
          "확인: 결제됨": "settled-charged", "확인: 결제 안 됨": "settled-not-charged"}
def closing(path):
    figures = {}
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        m = re.match(r"^(.+?)\s+(\d+)건\s+(-?[\d,]+)원$", line)
        if m and m.group(1) in LABELS:
            figures[LABELS[m.group(1)] + "-count"] = m.group(2)
            figures[LABELS[m.group(1)] + "-amount"] = m.group(3)
        m = re.match(r"^순 합계\s+(-?[\d,]+)원$", line)
        if m:
            figures["net"] = m.group(1)
        m = re.match(r"^(첫|끝) 승인번호 : (.*)$", line)
        if m:
            figures[("first" if m.group(1) == "첫" else "last") + "-approval"] = m.group(2).strip()
    return figures

# The page: each table's rows as {class: text}, the counters' rows by business number.
class Page(html.parser.HTMLParser):
    def __init__(self, text):
        super().__init__()
        self.tables, self.table, self.row, self.cell, self.scripts, self.texts = {}, None, None, None, 0, []
        self.feed(text)
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "script":
            self.scripts += 1
        if tag == "table":
            self.table = self.tables.setdefault(a.get("id"), [])
        elif tag == "tr" and self.table is not None:
            self.row = {"@" + k: v for k, v in a.items()}
            self.table.append(self.row)
        elif tag == "td" and self.row is not None:
            self.cell = a.get("class", "")
            self.row[self.cell] = ""
    def handle_endtag(self, tag):
        if tag == "td":
            self.cell = None
        elif tag == "table":
            self.table = self.row = None
    def handle_data(self, data):
        self.texts.append(data)
        if self.cell is not None:
            self.row[self.cell] += data
    def rows(self, table):
        return [r for r in self.tables.get(table, []) if any(not k.startswith("@") for k in r)]
    def text(self):
        return "".join(self.texts)


# A counter whose journal was made anew: both journals' closings, the old one's first.
def together(old, new):
    both = {k: v for k, v in new.items() if k.endswith("-approval")}
    for key in old:
        if not key.endswith("-approval"):
            both[key] = f"{int(old[key].replace(',', '')) + int(new[key].replace(',', '')):,}"
    both["first-approval"] = old["first-approval"] or new["first-approval"]
    both["last-approval"] = new["last-approval"] or old["last-approval"]
    return both


def compare(page, shops):
    """The page's counters against {business number: (terminal ID, closing figures)}:
    what differs."""
    errors = []
    counters = [r for r in page.rows("totals") if r.get("@class") == "counter"]
    if len(counters) != len(shops):
        errors.append(f"{len(counters)} counters on the page, not {len(shops)}")
    for row in counters:
        terminal, expected = shops.get(row["@data-business"], (None, None))
        if expected is None or row["@data-terminal"] != terminal:
            errors.append(f"a counter the page shouldn't have: {row}")
            continue
        if len(expected) != 19:
            errors.append(f"vek close printed {len(expected)} of the 19 figures: {expected}")
        for key, value in expected.items():
            shown = next((v for k, v in row.items() if key in k.split()), None)
            if shown != value:
                errors.append(f"{row['@data-business']} {key}: the page shows {shown!r}, vek close {value!r}")
    return errors


if __name__ == "__main__":
    shops = {}
    for arg in sys.argv[2:]:
        counter, files = arg.split("=", 1)
        terminal, business = counter.split("/", 1)
        figures = None
        for name in files.split("+"):
            figures = closing(name) if figures is None else together(figures, closing(name))
        shops[business] = (terminal, figures)
    errors = compare(Page(open(sys.argv[1], encoding="utf-8").read()), shops)
    for e in errors:
        print("  " + e, file=sys.stderr)
    sys.exit(1 if errors else 0)
