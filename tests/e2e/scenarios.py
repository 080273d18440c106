"""End-to-end scenarios: each starts the program on a fresh test home and drives it."""

import re

from pelmora_e2e import STAMP, Session, check, fail, history_rows, wait_until, SCREEN

TITLE = "PelmoraVer1.1"

# The test home: a few workbooks in folders whose order is known, one Word document (not
# listed at start-up), an empty destination folder and a long folder name.
LONG = "とても長いフォルダ名の経理部門の保管庫_二〇二六年度の決算資料をまとめた場所"
FILES = {
    "経理/請求書_002.xls": b"invoice two\x00\x01",
    "経理/請求書_001.xls": b"invoice one\x00\x02",
    "報告/月報.xls": b"monthly\x00\x03",
    "報告/議事録.doc": b"minutes\x00\x04",
    LONG + "/末尾の区別.xls": b"long\x00\x05",
    "dest/": None,
}
XLS = {k: v for k, v in FILES.items() if k.endswith(".xls")}


def start(program):
    s = Session(program, FILES)
    s.__enter__()
    return s


def grid(s):
    return s.table("結果一覧", root=s.main_window())


def wait_listing(s, count):
    main = s.main_window()
    label = s.find("label", str(count), root=main)
    g = grid(s)
    wait_until(lambda: len(s.table_rows(g)) == count, s.timeout, f"{count} rows in the grid")
    return label, g


def listed(s):
    """(folder, file) pairs of the grid, in grid order."""
    return [(r[1], r[0]) for r in s.table_rows(grid(s))]


def row_of(s, rel):
    folder, name = rel.rsplit("/", 1)
    want = (s.home.folder(folder), name)
    rows = listed(s)
    check(want in rows, f"{rel} not listed; grid: {rows}")
    return rows.index(want)


def select(s, *rels):
    g = grid(s)
    for rel in rels:
        s.click_row(g, row_of(s, rel), 0)


def choose_folder(s, chooser, rel):
    """Walks the chooser's folder list down to home/rel by clicking entries."""
    folders = s.find("list", "フォルダ一覧", root=chooser)
    for part in rel.strip("/").split("/"):
        item = s.find("list item", contains=part, root=folders)
        s.click(item)
    path = s.find("label", s.home.folder(rel), root=chooser)
    return path


def history_texts(s):
    rows = history_rows(s)
    for stamp, _ in rows:
        check(STAMP.match(stamp), f"history time stamp {stamp!r} is not yy年mm月dd日 hh時nn分ss秒")
    return [text for _, text in rows]


def scenario_startup(program):
    with Session(program, FILES) as s:
        main = s.main_window()
        _, g = wait_listing(s, len(XLS))
        rows = listed(s)
        want = sorted((s.home.folder(k.rsplit("/", 1)[0]), k.rsplit("/", 1)[1]) for k in XLS)
        check(sorted(rows) == want, f"start-up listing {rows}, expected {want}")
        folders = [f for f, _ in rows]
        check(folders == sorted(folders), f"rows not ordered by folder: {folders}")
        e = s.extents(main)
        check(e.x >= 0 and e.y >= 0 and e.x + e.width <= SCREEN[0] and
              e.y + e.height <= SCREEN[1], f"main window {tuple(e)} does not fit {SCREEN}")
        for role, caption in (("push button", "終了(&E)"), ("radio button", "複数選択"),
                              ("push button", "最新の情報に更新(&R)"),
                              ("push button", "選択ファイルを開く(&O)")):
            b = s.extents(s.find(role, caption, root=main))
            check(b.x + b.width <= e.x + e.width and b.y + b.height <= e.y + e.height,
                  f"{caption} lies outside the window")
        check(s.checked(s.find("radio button", "Excel", root=main)), "Excel not chosen")
        check(s.checked(s.find("radio button", "単一選択", root=main)), "single mode not on")
        check(not s.find_all("dialog", "少しお待ちください. . . . ."),
              "the wait window is still showing")
        check(history_texts(s) == [], "start-up wrote a history row")


SCENARIOS = {
    "startup": scenario_startup,
}
