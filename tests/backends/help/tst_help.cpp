// SPDX-License-Identifier: GPL-3.0-or-later
// The help collection built with the program: it opens, lists every page, its index finds
// pages by keyword, its full-text search finds topics, it explains every window and command;
// and the help window that shows it.
#include "backends/help/help_search_index.h"
#include "backends/help/qt_help_viewer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpIndexWidget>
#include <QHelpLink>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>

using namespace pelmora;

namespace {

const QString kCollection = QStringLiteral(PELMORA_TEST_HELP_QHC);
const QString kSources = QStringLiteral(PELMORA_TEST_HELP_SOURCES);
const QString kNamespace = QStringLiteral("org.pelmora.help.1.1");

QStringList source_pages()
{
    return QDir(kSources).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

// The plain text of every help page, read through the engine.
QString all_help_text(QHelpEngineCore& engine)
{
    QString text;
    for (const QUrl& url : engine.files(kNamespace, QString(), QStringLiteral("html"))) {
        QTextDocument document;
        document.setHtml(QString::fromUtf8(engine.fileData(url)));
        text += document.toPlainText() + QLatin1Char('\n');
    }
    return text;
}

QStringList hit_files(const QList<HelpSearchIndex::Hit>& hits)
{
    QStringList files;
    for (const HelpSearchIndex::Hit& hit : hits)
        files << hit.url.fileName();
    return files;
}

} // namespace

class HelpTest final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_copy;
    QList<QUrl> m_desktop_urls;

public Q_SLOTS:
    void record_url(const QUrl& url) { m_desktop_urls << url; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(kCollection), qPrintable(kCollection));
        // Work on a copy so the search index is written in the test's own folder.
        m_copy = m_work.filePath(QStringLiteral("pelmora.qhc"));
        QHelpEngineCore source(kCollection);
        QVERIFY(source.setupData());
        QVERIFY(source.copyCollectionFile(m_copy));
    }

    // The collection
    void collection_registers_the_document_with_every_page()
    {
        QHelpEngineCore engine(m_copy);
        engine.setReadOnly(false);
        QVERIFY(engine.setupData());
        QCOMPARE(engine.registeredDocumentations(), QStringList{kNamespace});
        QStringList files;
        for (const QUrl& url : engine.files(kNamespace, QString(), QStringLiteral("html")))
            files << url.fileName();
        files.sort();
        QCOMPARE(files, source_pages());
    }

    void index_keywords_lead_to_their_pages()
    {
        QHelpEngineCore engine(m_copy);
        engine.setReadOnly(false);
        QVERIFY(engine.setupData());
        const struct
        {
            const char* keyword;
            const char* page;
        } cases[] = {{"印刷", "print.html"},
                     {"操作履歴", "history.html"},
                     {"元に戻す", "undo.html"},
                     {"ごみ箱", "trash.html"},
                     {"バージョン情報", "help_about.html"},
                     {"新規フォルダ", "mkdir_dialog.html"},
                     {"LZH", "compress.html"},
                     {"複数選択", "selection.html"}};
        for (const auto& c : cases) {
            const QList<QHelpLink> links = engine.documentsForKeyword(QString::fromUtf8(c.keyword));
            QVERIFY2(!links.isEmpty(), c.keyword);
            QCOMPARE(links.front().url.fileName(), QString::fromUtf8(c.page));
        }
    }

    void help_explains_every_window_and_command()
    {
        QHelpEngineCore engine(m_copy);
        engine.setReadOnly(false);
        QVERIFY(engine.setupData());
        const QString text = all_help_text(engine);
        const char* captions[] = {"PelmoraVer1.1",
                                  "文書タイプ選択",
                                  "読込ドライブの選択：",
                                  "ファイル選択モード",
                                  "単一選択",
                                  "複数選択",
                                  "最新の情報に更新(&R)",
                                  "選択ファイルを開く(&O)",
                                  "終了(&E)",
                                  "プレビュー",
                                  "ファイル名：",
                                  "最終更新日：",
                                  "ファイル(&F)",
                                  "一覧印刷(&P)",
                                  "編集(&I)",
                                  "選択ファイルの移動(&O)",
                                  "選択ファイルをコピーする(&K)",
                                  "選択ファイルをごみ箱へ移動する(&M)",
                                  "選択ファイルの圧縮(&L)",
                                  "履歴(&J)",
                                  "操作履歴を見る(&K)",
                                  "1つ前の操作を元に戻す(&N)",
                                  "ヘルプ(&H)",
                                  "トピックの検索(&U)",
                                  "バージョン情報(&V)",
                                  "操作時間",
                                  "操作内容",
                                  "履歴のクリア",
                                  "ファイルのコピー先を指定してください：",
                                  "ファイルの移動先を指定してください：",
                                  "圧縮ファイルの保存先を指定してください：",
                                  "保存ファイル名を入力してください：",
                                  "設定(&O)",
                                  "ｷｬﾝｾﾙ(&C)",
                                  "作成するフォルダ名を入力してください",
                                  "作成(&M)",
                                  "Pelmora Ver1.1",
                                  "Excel & Word の文書を管理・閲覧する",
                                  "少しお待ちください",
                                  "印刷データがありません"};
        for (const char* caption : captions)
            QVERIFY2(text.contains(QString::fromUtf8(caption)), caption);
    }

    void full_text_search_finds_words_inside_japanese_sentences()
    {
        QHelpEngineCore engine(m_copy);
        engine.setReadOnly(false);
        QVERIFY(engine.setupData());
        HelpSearchIndex index;
        QHash<QString, QString> texts; // file name -> visible text
        for (const QUrl& url : engine.files(kNamespace, QString(), QStringLiteral("html"))) {
            const QString html = QString::fromUtf8(engine.fileData(url));
            index.add_page(url, url.fileName(), html);
            QTextDocument document;
            document.setHtml(html);
            // Compared as the search compares: width and case folded.
            texts.insert(url.fileName(), document.toPlainText()
                                             .simplified()
                                             .normalized(QString::NormalizationForm_KC)
                                             .toCaseFolded());
        }
        QCOMPARE(index.size(), source_pages().size());

        const struct
        {
            const char* word;
            const char* page;
        } cases[] = {{"印刷", "print.html"},        {"プリンタ", "print.html"},
                     {"LZH", "compress.html"},      {"lzh", "compress.html"},
                     {"ごみ箱", "trash.html"},      {"砂時計", "print.html"},
                     {"砂時計", "refresh.html"},    {"LibreOffice", "preview.html"},
                     {"1 ページ目", "preview.html"}};
        for (const auto& c : cases) {
            const QStringList files = hit_files(index.search(QString::fromUtf8(c.word)));
            QVERIFY2(files.contains(QString::fromUtf8(c.page)),
                     qPrintable(QString::fromUtf8(c.word) + QLatin1String(": ") +
                                files.join(QLatin1Char(' '))));
        }
        // Every two-character piece of every page is found, on exactly the pages that hold it.
        for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
            const QString& text = it.value();
            for (qsizetype at = 0; at + 2 <= text.size(); at += 37) {
                const QString word = text.mid(at, 2);
                // Words: letters and digits (kana and kanji are letters).
                if (!word.at(0).isLetterOrNumber() || !word.at(1).isLetterOrNumber())
                    continue;
                QStringList expected;
                for (auto page = texts.cbegin(); page != texts.cend(); ++page) {
                    if (page.value().contains(word))
                        expected << page.key();
                }
                QStringList found = hit_files(index.search(word));
                found.sort();
                expected.sort();
                QVERIFY2(found == expected,
                         qPrintable(word + QLatin1String(": ") + found.join(' ') +
                                    QLatin1String(" / ") + expected.join(' ')));
            }
        }
        QVERIFY(index.search(QStringLiteral("存在しない語句ｘｙｚ")).isEmpty());
    }

    // The help window
    void window_shows_contents_index_search_and_the_first_page()
    {
        QTemporaryDir work;
        QtHelpViewer viewer(kCollection, work.path());
        viewer.show_topics();
        QWidget* window = viewer.window();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        auto* contents = window->findChild<QHelpContentWidget*>(QStringLiteral("help_contents"));
        QVERIFY(contents);
        QVERIFY(window->findChild<QHelpIndexWidget*>(QStringLiteral("help_index")));
        QVERIFY(window->findChild<QLineEdit*>(QStringLiteral("help_search_input")));
        QVERIFY(window->findChild<QListWidget*>(QStringLiteral("help_search_results")));
        auto* page = window->findChild<QTextBrowser*>(QStringLiteral("help_page"));
        QVERIFY(page);
        QTRY_VERIFY_WITH_TIMEOUT(contents->model()->rowCount() > 0, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(page->source().fileName(), QStringLiteral("index.html"), 10000);
        QVERIFY(page->toPlainText().contains(QStringLiteral("PelmoraVer1.1")));
        // The installed collection itself is left as it was.
        QVERIFY(!QDir(QFileInfo(kCollection).dir()).exists(QStringLiteral(".pelmora")));
    }

    void window_searches_in_japanese_and_shows_the_hit()
    {
        QTemporaryDir work;
        QtHelpViewer viewer(kCollection, work.path());
        viewer.show_topics();
        QWidget* window = viewer.window();
        QVERIFY(window);
        auto* input = window->findChild<QLineEdit*>(QStringLiteral("help_search_input"));
        auto* button = window->findChild<QPushButton*>(QStringLiteral("help_search_button"));
        auto* status = window->findChild<QLabel*>(QStringLiteral("help_search_status"));
        auto* results = window->findChild<QListWidget*>(QStringLiteral("help_search_results"));
        auto* page = window->findChild<QTextBrowser*>(QStringLiteral("help_page"));
        QVERIFY(input && button && status && results && page);
        QCOMPARE(button->text(), QStringLiteral("検索(&S)"));
        // Every caption of the search page is Japanese: no Latin letters outside "&S".
        static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
        QVERIFY(!input->placeholderText().contains(latin));

        input->setText(QStringLiteral("砂時計"));
        button->click();
        QVERIFY(results->count() >= 1);
        QVERIFY2(status->text().contains(QStringLiteral("件のページが見つかりました")),
                 qPrintable(status->text()));
        QVERIFY(!status->text().contains(latin));
        Q_EMIT results->itemClicked(results->item(0));
        QVERIFY(page->toPlainText().contains(QStringLiteral("砂時計")));

        input->setText(QStringLiteral("存在しない語句"));
        button->click();
        QCOMPARE(results->count(), 0);
        QVERIFY(status->text().contains(QStringLiteral("見つかりませんでした")));
    }

    void links_move_inside_the_window_and_external_ones_go_to_the_desktop()
    {
        QTemporaryDir work;
        QtHelpViewer viewer(kCollection, work.path());
        viewer.show_topics();
        QWidget* window = viewer.window();
        QVERIFY(window);
        auto* page = window->findChild<QTextBrowser*>(QStringLiteral("help_page"));
        QTRY_COMPARE_WITH_TIMEOUT(page->source().fileName(), QStringLiteral("index.html"), 10000);
        const QUrl start = page->source();

        // A relative link of the contents list, as the page holds it.
        Q_EMIT page->anchorClicked(QUrl(QStringLiteral("preview.html")));
        QCOMPARE(page->source().fileName(), QStringLiteral("preview.html"));
        QCOMPARE(page->source().scheme(), QStringLiteral("qthelp"));
        QVERIFY(page->toPlainText().contains(QStringLiteral("LibreOffice")));
        // "目次へ戻る" and the like.
        Q_EMIT page->anchorClicked(QUrl(QStringLiteral("index.html")));
        QCOMPARE(page->source(), start);

        // An address outside the help goes to the desktop; the page stays.
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "record_url");
        Q_EMIT page->anchorClicked(QUrl(QStringLiteral("https://www.libreoffice.org/")));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(m_desktop_urls, QList<QUrl>{QUrl(QStringLiteral("https://www.libreoffice.org/"))});
        QCOMPARE(page->source(), start);

        // Every link on every page leads to a page of the collection.
        QHelpEngineCore engine(m_copy);
        QVERIFY(engine.setupData());
        static const QRegularExpression href(QStringLiteral("href=\"([^\"#]+)"));
        for (const QUrl& url : engine.files(kNamespace, QString(), QStringLiteral("html"))) {
            const QString html = QString::fromUtf8(engine.fileData(url));
            for (auto it = href.globalMatch(html); it.hasNext();) {
                const QString target = it.next().captured(1);
                if (target.endsWith(QLatin1String(".css")) || target.contains(QLatin1Char(':')))
                    continue;
                QVERIFY2(!engine.fileData(url.resolved(QUrl(target))).isEmpty(),
                         qPrintable(url.fileName() + QLatin1String(" -> ") + target));
                Q_EMIT page->anchorClicked(QUrl(target));
                QCOMPARE(page->source().fileName(), QUrl(target).fileName());
                page->setSource(url);
            }
        }
    }

    void window_follows_an_index_keyword()
    {
        QTemporaryDir work;
        QtHelpViewer viewer(kCollection, work.path());
        viewer.show_topics();
        QWidget* window = viewer.window();
        QVERIFY(window);
        auto* index = window->findChild<QHelpIndexWidget*>(QStringLiteral("help_index"));
        auto* page = window->findChild<QTextBrowser*>(QStringLiteral("help_page"));
        QTRY_VERIFY_WITH_TIMEOUT(index->model()->rowCount() > 0, 10000);
        index->filterIndices(QStringLiteral("一覧印刷"));
        QVERIFY(index->currentIndex().isValid());
        index->activateCurrentItem();
        QTRY_COMPARE_WITH_TIMEOUT(page->source().fileName(), QStringLiteral("print.html"), 10000);
        QVERIFY(page->toPlainText().contains(QStringLiteral("印刷データがありません")));
    }

    void second_call_brings_the_same_window_back()
    {
        QTemporaryDir work;
        QtHelpViewer viewer(kCollection, work.path());
        viewer.show_topics();
        QWidget* first = viewer.window();
        QVERIFY(first);
        first->close();
        QVERIFY(!first->isVisible());
        viewer.show_topics();
        QCOMPARE(viewer.window(), first);
        QVERIFY(first->isVisible());
        int help_windows = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            help_windows += w->objectName() == QLatin1String("help_window") ? 1 : 0;
        QCOMPARE(help_windows, 1);
    }

    void missing_collection_opens_nothing()
    {
        QTemporaryDir work;
        const int before = QApplication::topLevelWidgets().size();
        QtHelpViewer viewer(work.filePath(QStringLiteral("absent/pelmora.qhc")), work.path());
        viewer.show_topics();
        QVERIFY(!viewer.window());
        QCOMPARE(QApplication::topLevelWidgets().size(), before);
    }

    void unreadable_collection_opens_nothing()
    {
        QTemporaryDir work;
        const QString broken = work.filePath(QStringLiteral("broken/pelmora.qhc"));
        QVERIFY(QDir().mkpath(QFileInfo(broken).path()));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a help collection");
        file.close();
        QtHelpViewer viewer(broken, work.filePath(QStringLiteral("cache")));
        viewer.show_topics();
        QVERIFY(!viewer.window());
    }

    void default_collection_lies_next_to_the_program()
    {
        QCOMPARE(QtHelpViewer::default_collection_file(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/pelmora.qhc"));
    }

    void an_installed_collection_is_found_under_share()
    {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        const QString bin = prefix.path() + QStringLiteral("/bin");
        QCOMPARE(QtHelpViewer::collection_file_for(bin), bin + QStringLiteral("/pelmora.qhc"));
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/pelmora")));
        QFile qhc(prefix.path() + QStringLiteral("/share/pelmora/pelmora.qhc"));
        QVERIFY(qhc.open(QIODevice::WriteOnly));
        qhc.close();
        QCOMPARE(QtHelpViewer::collection_file_for(bin), qhc.fileName());
    }
};

QTEST_MAIN(HelpTest)
#include "tst_help.moc"
