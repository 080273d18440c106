# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end scenarios: each starts the program on a fresh test home and drives it."""

import os
import re

from pelmora_e2e import (SCREEN, STAMP, Session, check, fail, history_rows, wait_until,
                         x_top_levels, x_window_titles)

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
    return s.table("検索一覧", root=s.main_window())


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
    folders = s.find("list", root=chooser)
    for part in rel.strip("/").split("/"):
        item = s.find("list item", contains=part, root=folders)
        s.click(item)
    # The chooser shows the folder list's path as it is, without a closing "/".
    return s.find("label", s.home.path(rel), root=chooser)


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


def open_chooser(s, menu_caption):
    s.menu("編集(&I)", menu_caption)
    return s.wait_window(TITLE, role="dialog")


def confirm_chooser(s, chooser):
    s.click_named("push button", "設定(&O)", root=chooser)
    s.wait_closed(chooser, "the destination chooser")


def scenario_single_selection(program):
    with Session(program, FILES) as s:
        main = s.main_window()
        wait_listing(s, len(XLS))
        check(not s.menu_item_enabled("編集(&I)", "選択ファイルをコピーする(&K)"),
              "copy is enabled before anything is selected")
        select(s, "経理/請求書_001.xls")
        s.find("label", "請求書_001.xls", root=main)
        select(s, "報告/月報.xls")
        s.find("label", "月報.xls", root=main)
        check(not s.find_all("label", "請求書_001.xls", root=main),
              "the file name label still shows the first file")
        for caption in ("選択ファイルの圧縮(&L)", "選択ファイルの移動(&O)",
                        "選択ファイルをコピーする(&K)", "選択ファイルをごみ箱へ移動する(&M)"):
            check(s.menu_item_enabled("編集(&I)", caption), f"{caption} not enabled")
        check(not s.menu_item_enabled("履歴(&J)", "1つ前の操作を元に戻す(&N)"),
              "undo enabled without an operation")
        # A mode switch disables the file operations again.
        s.click(s.find("radio button", "複数選択", root=main))
        check(not s.menu_item_enabled("編集(&I)", "選択ファイルをコピーする(&K)"),
              "copy still enabled after a mode switch")


def scenario_multiple_selection(program):
    with Session(program, FILES) as s:
        main = s.main_window()
        wait_listing(s, len(XLS))
        s.click(s.find("radio button", "複数選択", root=main))
        select(s, "経理/請求書_001.xls", "経理/請求書_002.xls")
        # Nothing is previewed in multiple mode.
        check(not s.find_all("label", "請求書_002.xls", root=main),
              "multiple mode filled the file name label")
        chooser = open_chooser(s, "選択ファイルをコピーする(&K)")
        s.find("panel", "ファイルのコピー先を指定してください：", root=chooser)
        choose_folder(s, chooser, "dest")
        confirm_chooser(s, chooser)
        s.expect_message("ファイルは正常にコピーされました")
        for name in ("請求書_001.xls", "請求書_002.xls"):
            check(s.home.read("dest/" + name) == FILES["経理/" + name], f"{name} not copied")
            check(s.home.exists("経理/" + name), f"{name} lost its original")
        texts = history_texts(s)
        want = [s.home.path("経理/" + n) + "を " + s.home.folder("dest") + "にコピーしました"
                for n in ("請求書_001.xls", "請求書_002.xls")]
        check(texts == want, f"history {texts}, expected {want}")


def scenario_copy_with_new_folder(program):
    with Session(program, FILES) as s:
        wait_listing(s, len(XLS))
        select(s, "報告/月報.xls")
        chooser = open_chooser(s, "選択ファイルをコピーする(&K)")
        choose_folder(s, chooser, "dest")
        s.click_named("push button", "新規フォルダの作成", root=chooser)
        mkdir = s.wait_window(TITLE, role="dialog", exclude=[chooser])
        field = s.find("text", "作成するフォルダ名を入力してください", root=mkdir)
        s.click(field)
        s.type_text("Box 1")
        s.click_named("push button", "作成(&M)", root=mkdir)
        s.wait_closed(mkdir, "the new-folder dialog")
        check(os.path.isdir(s.home.path("dest/Box 1")), "the new folder was not created")
        s.find("label", s.home.path("dest/Box 1"), root=chooser)
        confirm_chooser(s, chooser)
        s.expect_message("ファイルは正常にコピーされました")
        check(s.home.read("dest/Box 1/月報.xls") == FILES["報告/月報.xls"], "copy has other bytes")
        texts = history_texts(s)
        want = [s.home.path("報告/月報.xls") + "を " + s.home.folder("dest/Box 1") +
                "にコピーしました"]
        check(texts == want, f"history {texts}, expected {want}")


def scenario_move(program):
    with Session(program, FILES) as s:
        wait_listing(s, len(XLS))
        select(s, "経理/請求書_002.xls")
        chooser = open_chooser(s, "選択ファイルの移動(&O)")
        s.find("panel", "ファイルの移動先を指定してください：", root=chooser)
        choose_folder(s, chooser, "dest")
        confirm_chooser(s, chooser)
        s.expect_message("ファイルは正常に移動されました")
        check(not s.home.exists("経理/請求書_002.xls"), "the moved file is still in place")
        check(s.home.read("dest/請求書_002.xls") == FILES["経理/請求書_002.xls"],
              "the moved file has other bytes")
        texts = history_texts(s)
        want = [s.home.path("経理/請求書_002.xls") + "を " + s.home.folder("dest") + "に移動しました"]
        check(texts == want, f"history {texts}, expected {want}")
        # Undo puts it back.
        s.menu("履歴(&J)", "1つ前の操作を元に戻す(&N)")
        box, text = s.wait_message("よろしいですか")
        s.answer(box, "はい(&Y)")
        s.expect_message("1つ前の操作を取り消しました")
        check(s.home.read("経理/請求書_002.xls") == FILES["経理/請求書_002.xls"],
              "undo did not move the file back")
        check(not s.home.exists("dest/請求書_002.xls"), "undo left the moved file behind")


def scenario_trash(program):
    with Session(program, FILES) as s:
        wait_listing(s, len(XLS))
        select(s, "経理/請求書_001.xls")
        s.menu("編集(&I)", "選択ファイルをごみ箱へ移動する(&M)")
        box, text = s.wait_message("をごみ箱へ移動します")
        # Two lines of text, so the label is two lines high: no line of it was broken.
        question = s.extents(s.find("label", contains="をごみ箱へ移動します", root=box))
        s.answer(box, "はい(&Y)")
        done, _ = s.wait_message("選択されたファイルをごみ箱へ移動しました")
        one_line = s.extents(s.find("label", "選択されたファイルをごみ箱へ移動しました", root=done))
        check(question.height < one_line.height * 2.5,
              f"the question's label is {question.height} px high; one line is {one_line.height}")
        s.answer(done, "OK")
        check(not s.home.exists("経理/請求書_001.xls"), "the file is still in place")
        check("請求書_001.xls" in s.home.trash_files(),
              f"the file is not in the trash: {s.home.trash_files()}")
        texts = history_texts(s)
        want = [s.home.path("経理/請求書_001.xls") + "を ごみ箱へ移動しました"]
        check(texts == want, f"history {texts}, expected {want}")


def scenario_compress(program):
    with Session(program, FILES) as s:
        main = s.main_window()
        wait_listing(s, len(XLS))
        s.click(s.find("radio button", "複数選択", root=main))
        select(s, "経理/請求書_001.xls", "報告/月報.xls")
        chooser = open_chooser(s, "選択ファイルの圧縮(&L)")
        s.find("panel", "圧縮ファイルの保存先を指定してください：", root=chooser)
        name = s.find("text", "保存ファイル名を入力してください：", root=chooser)
        default = name.queryText().getText(0, -1)
        check(re.fullmatch(r"\d{12}", default), f"default archive name {default!r}")
        choose_folder(s, chooser, "dest")
        s.click(name)
        s.key("Control+a")
        s.type_text("pack")
        confirm_chooser(s, chooser)
        s.expect_message("選択XLSファイルを圧縮しました")
        archive = s.home.read("dest/pack.LZH")
        for member in ("請求書_001.xls", "月報.xls"):
            check(member.encode() in archive or member.encode("cp932") in archive,
                  f"{member} is not in the archive")
        texts = history_texts(s)
        want = [s.home.path(r) + "を " + s.home.folder("dest") + "に圧縮して保存(pack.LZH)しました"
                for r in ("経理/請求書_001.xls", "報告/月報.xls")]
        check(texts == want, f"history {texts}, expected {want}")


def scenario_undo_copy(program):
    with Session(program, FILES) as s:
        wait_listing(s, len(XLS))
        select(s, "経理/請求書_001.xls")
        chooser = open_chooser(s, "選択ファイルをコピーする(&K)")
        choose_folder(s, chooser, "dest")
        confirm_chooser(s, chooser)
        s.expect_message("ファイルは正常にコピーされました")
        check(s.home.exists("dest/請求書_001.xls"), "nothing copied")
        check(s.menu_item_enabled("履歴(&J)", "1つ前の操作を元に戻す(&N)"), "undo not enabled")
        s.menu("履歴(&J)", "1つ前の操作を元に戻す(&N)")
        copy = s.home.path("dest/請求書_001.xls")
        s.expect_message("コピーしたファイル(" + copy + ")を削除します\r\nよろしいですか",
                         button="はい(&Y)")
        s.expect_message("1つ前の操作を取り消しました")
        check(not s.home.exists("dest/請求書_001.xls"), "undo left the copy")
        check(s.home.read("経理/請求書_001.xls") == FILES["経理/請求書_001.xls"],
              "undo touched the original")
        check(not s.menu_item_enabled("履歴(&J)", "1つ前の操作を元に戻す(&N)"),
              "undo still enabled")
        texts = history_texts(s)
        check(texts[-1] == "コピーしたファイル(" + copy + ")を 削除しました",
              f"last history row {texts[-1]!r}")


def scenario_history(program):
    with Session(program, FILES) as s:
        main = s.main_window()
        wait_listing(s, len(XLS))
        s.click_named("push button", "最新の情報に更新(&R)", root=main)
        wait_listing(s, len(XLS))
        s.click_named("push button", "最新の情報に更新(&R)", root=main)
        wait_until(lambda: len(history_texts(s)) == 2, s.timeout, "two history rows")
        check(history_texts(s) == ["最新の情報に更新 ボタンを押下しました"] * 2, "refresh rows")
        # The time stamp column shows whole stamps, and the window fits the screen.
        s.menu("履歴(&J)", "操作履歴を見る(&K)")
        window = s.wait_window("操作履歴", role="dialog")
        e = s.extents(window)
        check(e.x >= 0 and e.y >= 0 and e.x + e.width <= SCREEN[0] and
              e.y + e.height <= SCREEN[1], f"history window {tuple(e)} does not fit")
        table = s.table("操作履歴", root=window)
        t = table.queryTable()
        stamp_cell = s.extents(t.getAccessibleAt(0, 0))
        text_cell = s.extents(t.getAccessibleAt(0, 1))
        grid = s.extents(table)
        check(text_cell.x + text_cell.width >= grid.x + grid.width - 30,
              "the text column does not reach the window's edge")
        check(stamp_cell.width >= 150, f"time column only {stamp_cell.width} px wide")
        s.click_named("push button", "履歴のクリア", root=window)
        wait_until(lambda: s.table_rows(table) == [], s.timeout, "an empty history")
        s.click_named("push button", "OK(&O)", root=window)
        s.wait_closed(window, "the history window")
        check(history_texts(s) == [], "the history is not empty after clearing")


def scenario_keyboard_copy(program):
    """From start-up to the success message without the mouse."""
    with Session(program, FILES) as s:
        main = s.main_window()
        wait_listing(s, len(XLS))
        g = grid(s)
        # Tab from the start reaches the grid and leaves it again.
        s.tab_to("table", "検索一覧")
        s.key("Tab")
        focus = s.focus_owner()
        check(focus is not None and s.name(focus) == "プレビュー",
              "Tab from the grid does not go on to the preview check box")
        s.tab_to("push button", "終了(&E)")
        s.tab_to("table", "検索一覧", back=True)
        target = row_of(s, "報告/月報.xls")
        s.key("Home")
        for _ in range(target):
            s.key("Down")
        s.key("space")
        s.find("label", "月報.xls", root=main)
        s.key("Alt+I")
        s.key("k")
        chooser = s.wait_window(TITLE, role="dialog")
        folders = s.tab_to("list", "ファイルのコピー先を指定してください：")
        rows = [s.name(folders.getChildAtIndex(i)) for i in range(folders.childCount)]
        index = next((i for i, n in enumerate(rows) if n.strip() == "dest"), None)
        check(index is not None, f"dest not in the folder list: {rows}")
        s.key("Home")
        for _ in range(index):
            s.key("Down")
        s.key("Return")
        s.find("label", s.home.path("dest"), root=chooser)
        # New folder through the keyboard: the button is reached with Tab.
        s.tab_to("push button", "新規フォルダの作成")
        s.key("space")
        mkdir = s.wait_window(TITLE, role="dialog", exclude=[chooser])
        s.wait_focus("text", "作成するフォルダ名を入力してください")
        s.type_text("keys")
        s.key("Alt+M")
        s.wait_closed(mkdir, "the new-folder dialog")
        s.find("label", s.home.path("dest/keys"), root=chooser)
        s.key("Alt+O")
        s.wait_closed(chooser, "the destination chooser")
        box, text = s.wait_message("ファイルは正常にコピーされました")
        s.key("Return")
        s.wait_closed(box, "the success message")
        check(s.home.read("dest/keys/月報.xls") == FILES["報告/月報.xls"], "keyboard copy failed")


def scenario_about_and_names(program):
    with Session(program, FILES) as s:
        main = s.main_window()
        wait_listing(s, len(XLS))
        # A screen reader finds a name on every control and picture of the window.
        interactive = ("push button", "radio button", "check box", "combo box", "table",
                       "panel", "menu item", "image", "table row header", "table column header")

        def unnamed(a):
            if s.role(a) not in interactive or not s.showing(a) or s.name(a):
                return False
            # The corner of a grid (where the hidden row headers meet the column headers)
            # is no control and has no caption.
            return not (s.role(a) == "panel" and s.role(a.parent) == "table")
        missing = [(s.role(a), s.role(a.parent)) for a in s.walk(main) if unnamed(a)]
        check(not missing, f"controls without a name: {missing}")
        rows = [s.name(a) for a in s.walk(grid(s)) if s.role(a) == "table row header"]
        check(rows == [str(i + 1) for i in range(len(XLS))], f"row headers {rows}")
        s.menu("ヘルプ(&H)", "バージョン情報(&V)")
        about = s.wait_window("バージョン情報")
        s.find("label", "Pelmora Ver1.1", root=about)
        purpose = s.find("label", contains="の文書を管理・閲覧する", root=about)
        check(s.name(purpose) == "Excel & Word の文書を管理・閲覧する",
              f"About text reads {s.name(purpose)!r}")
        # The window system shows the exact titles, with nothing appended.
        titles = x_window_titles()
        for title in ("PelmoraVer1.1", "バージョン情報"):
            check(title in titles, f"no window titled {title!r} on the X server: {titles}")
        check(not [t for t in titles if "—" in t or t.endswith(" - PelmoraVer1.1")],
              f"a title carries an appended name: {titles}")
        icon = s.extents(s.find(None, "Pelmora", root=about))
        check((icon.width, icon.height) == (32, 32), f"About icon is {icon.width}x{icon.height}")
        s.click_named("push button", "OK(&O)", root=about)
        s.wait_closed(about, "the About window")


SCENARIOS = {
    "about_and_names": scenario_about_and_names,
    "startup": scenario_startup,
    "single_selection": scenario_single_selection,
    "multiple_selection": scenario_multiple_selection,
    "copy_with_new_folder": scenario_copy_with_new_folder,
    "move": scenario_move,
    "trash": scenario_trash,
    "compress": scenario_compress,
    "undo_copy": scenario_undo_copy,
    "history": scenario_history,
    "keyboard_copy": scenario_keyboard_copy,
}


def scenario_undo_keeps_edited_copy(program):
    """A copy the user has edited since is not the copy undo made: it stays, undo says so."""
    with Session(program, FILES) as s:
        wait_listing(s, len(XLS))
        select(s, "経理/請求書_001.xls")
        chooser = open_chooser(s, "選択ファイルをコピーする(&K)")
        choose_folder(s, chooser, "dest")
        confirm_chooser(s, chooser)
        s.expect_message("ファイルは正常にコピーされました")
        edited = b"two hours of edits\x00" * 50
        with open(s.home.path("dest/請求書_001.xls"), "wb") as f:
            f.write(edited)
        s.menu("履歴(&J)", "1つ前の操作を元に戻す(&N)")
        copy = s.home.path("dest/請求書_001.xls")
        s.expect_message("コピーしたファイル(" + copy + ")を削除します\r\nよろしいですか",
                         button="はい(&Y)")
        s.expect_message("1つ前の操作の取消しに失敗しました")
        check(s.home.read("dest/請求書_001.xls") == edited, "undo destroyed the edited copy")
        check(s.home.read("経理/請求書_001.xls") == FILES["経理/請求書_001.xls"],
              "undo touched the original")
        texts = history_texts(s)
        check(texts[-2:] == ["コピーしたファイル(" + copy + ")を 削除できませんでした",
                             "上記の作業に失敗しました"], f"last history rows {texts[-2:]!r}")


SCENARIOS["undo_keeps_edited_copy"] = scenario_undo_keeps_edited_copy


def scenario_open_refused(program):
    """The desktop refuses to open the file (xdg-open exits 4): a message, a history row, and
    the program keeps running after the message is answered."""
    with Session(program, FILES, tools={"xdg-open": "exit 4"}) as s:
        main = s.main_window()
        wait_listing(s, len(XLS))
        select(s, "報告/月報.xls")
        s.click_named("push button", "選択ファイルを開く(&O)", root=main)
        s.expect_message("ファイルのオープンに失敗しました")
        texts = history_texts(s)
        s.check_alive()
        want = [s.home.path("報告/月報.xls") + "を 起動しました", "上記の作業に失敗しました"]
        check(texts == want, f"history {texts}, expected {want}")


SCENARIOS["open_refused"] = scenario_open_refused


FILTER_FILES = {
    "経理/Report_A.xls": b"a\x00",
    "経理/けいやく.xls": b"b\x00",
    "報告/ＲＥＰＯＲＴ_B.xls": b"c\x00",
    "報告/memo.xls": b"d\x00",
}


def scenario_filter(program):
    """Typing into the filter box narrows the grid as a screen reader sees it."""
    with Session(program, FILTER_FILES) as s:
        main = s.main_window()
        _, g = wait_listing(s, len(FILTER_FILES))

        def names():
            return sorted(r[0] for r in s.table_rows(g))

        def shows(want):
            wait_until(lambda: names() == sorted(want), s.timeout, f"rows {want}",
                       lambda: f"rows {names()}")
        s.key("Control+f")
        box = s.wait_focus("text", "絞り込み")
        s.type_text("report")
        # Half-width letters find full-width ones, and case does not matter.
        shows(["Report_A.xls", "ＲＥＰＯＲＴ_B.xls"])
        s.find("label", "2 / 4", root=main)
        s.key("Escape")
        shows(list(n.rsplit("/", 1)[1] for n in FILTER_FILES))
        s.find("label", "4", root=main)
        # Katakana finds a name written in hiragana.
        box.queryEditableText().setTextContents("ケイヤク")
        shows(["けいやく.xls"])
        s.click_row(g, 0, 0)
        s.find("label", "けいやく.xls", root=main)


SCENARIOS["filter"] = scenario_filter


# 83 three-byte characters and "ab.xls": the longest name a Linux file system takes.
LONGEST = "長" * 83 + "ab.xls"
assert len(LONGEST.encode()) == 255


def scenario_fits_at_200(program):
    """At 200 % on a 1920x1080 screen every window opened lies inside the screen, and the
    longest file name leaves the grid as wide as a short one did."""
    screen = (1920, 1080)
    files = dict(FILES, **{"報告/" + LONGEST: b"longest\x00\x06"})
    with Session(program, files, screen=screen, scale=2) as s:
        main = s.main_window()
        wait_listing(s, len(XLS) + 1)

        def inside(what, title):
            # Measured on the X server: the accessibility bus may report other units.
            def shown():
                return [w for w in x_top_levels() if w[1]]
            wait_until(lambda: any(w[0] == title for w in shown()), s.timeout,
                       f"{what} on the X server")
            outside = [w for w in shown() if w[2] < 0 or w[3] < 0 or
                       w[2] + w[4] > screen[0] or w[3] + w[5] > screen[1]]
            check(not outside, f"with {what} open, windows leave the {screen} screen: {outside}")

        inside("the main window", TITLE)
        # Everything through the keyboard: it does not depend on reported positions.
        s.tab_to("table", "検索一覧")

        def choose(rel):
            s.key("Control+Home", *["Down"] * row_of(s, rel), "space")
            s.find("label", rel.rsplit("/", 1)[1], root=main)
            return s.extents(grid(s)).width
        before = choose("報告/月報.xls")
        after = choose("報告/" + LONGEST)
        check(after >= before, f"the longest name narrows the grid from {before} to {after}")
        inside("the longest name shown", TITLE)

        s.key("Alt+J", "k")
        window = s.wait_window("操作履歴", role="dialog")
        inside("the history window", "操作履歴")
        s.key("Escape")
        s.wait_closed(window, "the history window")

        s.key("Alt+I", "l")
        chooser = s.wait_window(TITLE, role="dialog")
        inside("the compression chooser", TITLE)
        s.tab_to("push button", "新規フォルダの作成")
        s.key("space")
        mkdir = s.wait_window(TITLE, role="dialog", exclude=[chooser])
        inside("the new-folder dialog", TITLE)
        s.key("Escape")
        s.wait_closed(mkdir, "the new-folder dialog")
        s.key("Escape")
        s.wait_closed(chooser, "the compression chooser")

        s.key("Alt+H", "v")
        about = s.wait_window("バージョン情報")
        inside("the About window", "バージョン情報")
        s.key("Return")
        s.wait_closed(about, "the About window")
        # The About window gave the keyboard back to no one (no window manager here): the
        # menu item is pressed through its accessible action.
        item = s.find("menu item", "トピックの検索(&U)", root=main, showing=False)
        item.queryAction().doAction(0)
        s.wait_window("Pelmora ヘルプ")
        inside("the help window", "Pelmora ヘルプ")


SCENARIOS["fits_at_200"] = scenario_fits_at_200
