// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/help/qt_help_viewer.h"

#include "backends/help/help_search_index.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpIndexWidget>
#include <QHelpLink>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <memory>

namespace pelmora {

namespace {

// Loads qthelp:// pages, their pictures and style sheets from the help engine. Links between
// help pages (and to places within a page) are followed here; any other address goes to the
// desktop.
class HelpBrowser final : public QTextBrowser
{
public:
    HelpBrowser(QHelpEngine* engine, QWidget* parent) : QTextBrowser(parent), m_engine(engine)
    {
        setOpenLinks(false);
        connect(this, &QTextBrowser::anchorClicked, this, &HelpBrowser::follow);
    }

    void follow(const QUrl& link)
    {
        const QUrl url = source().resolved(link);
        if (url.scheme() == QLatin1String("qthelp")) {
            if (url.adjusted(QUrl::RemoveFragment) == source().adjusted(QUrl::RemoveFragment) &&
                url.hasFragment())
                scrollToAnchor(url.fragment());
            else
                setSource(url);
            return;
        }
        QDesktopServices::openUrl(url);
    }

    // Qt's own menu speaks English when no translation is installed.
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        QMenu menu(this);
        menu.setObjectName(QStringLiteral("help_page_menu"));
        QAction* back = menu.addAction(QStringLiteral("戻る(&B)"), this, &QTextBrowser::backward);
        back->setEnabled(isBackwardAvailable());
        QAction* forward = menu.addAction(QStringLiteral("進む(&F)"), this, &QTextBrowser::forward);
        forward->setEnabled(isForwardAvailable());
        menu.addSeparator();
        QAction* copy_action =
            menu.addAction(QStringLiteral("コピー(&C)"), this, &QTextBrowser::copy);
        copy_action->setEnabled(textCursor().hasSelection());
        menu.addAction(QStringLiteral("すべて選択(&A)"), this, &QTextBrowser::selectAll);
        menu.exec(event->globalPos());
    }

    QVariant loadResource(int type, const QUrl& url) override
    {
        if (url.scheme() == QLatin1String("qthelp"))
            return m_engine->fileData(url);
        return QTextBrowser::loadResource(type, url);
    }

private:
    QHelpEngine* m_engine;
};

std::unique_ptr<QWidget> make_help_window(const QString& collection)
{
    auto window = std::make_unique<QWidget>();
    window->setObjectName(QStringLiteral("help_window"));
    window->setWindowTitle(QStringLiteral("Pelmora ヘルプ"));

    // Owned by the window. It works on our own copy, which it may update: a read-only
    // engine does not refresh the copy's cached contents and index tables.
    auto* engine = new QHelpEngine(collection, window.get());
    engine->setObjectName(QStringLiteral("help_engine"));
    engine->setReadOnly(false);
    engine->setUsesFilterEngine(true);
    if (!engine->setupData() || engine->registeredDocumentations().isEmpty())
        return nullptr;

    auto* splitter = new QSplitter(Qt::Horizontal, window.get());
    auto* tabs = new QTabWidget(splitter);
    tabs->setObjectName(QStringLiteral("help_tabs"));
    auto* browser = new HelpBrowser(engine, splitter);
    browser->setObjectName(QStringLiteral("help_page"));
    browser->setAccessibleName(QStringLiteral("ヘルプのページ"));

    QHelpContentWidget* contents = engine->contentWidget();
    contents->setObjectName(QStringLiteral("help_contents"));
    contents->setAccessibleName(QStringLiteral("目次"));
    tabs->addTab(contents, QStringLiteral("目次"));

    auto* index_page = new QWidget(tabs);
    auto* index_layout = new QVBoxLayout(index_page);
    auto* index_filter = new QLineEdit(index_page);
    index_filter->setObjectName(QStringLiteral("help_index_filter"));
    index_filter->setAccessibleName(QStringLiteral("キーワード"));
    index_filter->setPlaceholderText(QStringLiteral("キーワードを入力してください"));
    QHelpIndexWidget* index = engine->indexWidget();
    index->setObjectName(QStringLiteral("help_index"));
    index->setAccessibleName(QStringLiteral("キーワード一覧"));
    index_layout->addWidget(index_filter);
    index_layout->addWidget(index);
    tabs->addTab(index_page, QStringLiteral("キーワード"));

    // Our own search: it finds words inside Japanese sentences and speaks Japanese.
    auto index_data = std::make_shared<HelpSearchIndex>();
    for (const QString& name : engine->registeredDocumentations()) {
        for (const QUrl& url : engine->files(name, QString(), QStringLiteral("html"))) {
            const QString html = QString::fromUtf8(engine->fileData(url));
            static const QRegularExpression title_tag(
                QStringLiteral("<title>(.*?)</title>"),
                QRegularExpression::CaseInsensitiveOption |
                    QRegularExpression::DotMatchesEverythingOption);
            const QString title = HelpSearchIndex::plain_text(title_tag.match(html).captured(1));
            index_data->add_page(url, title.isEmpty() ? url.fileName() : title, html);
        }
    }
    auto* search_page = new QWidget(tabs);
    auto* search_layout = new QVBoxLayout(search_page);
    auto* query_row = new QHBoxLayout();
    auto* query = new QLineEdit(search_page);
    query->setObjectName(QStringLiteral("help_search_input"));
    query->setAccessibleName(QStringLiteral("検索する語句"));
    query->setPlaceholderText(QStringLiteral("検索する語句を入力してください"));
    auto* run = new QPushButton(QStringLiteral("検索(&S)"), search_page);
    run->setObjectName(QStringLiteral("help_search_button"));
    query_row->addWidget(query);
    query_row->addWidget(run);
    auto* status = new QLabel(search_page);
    status->setObjectName(QStringLiteral("help_search_status"));
    status->setWordWrap(true);
    auto* results = new QListWidget(search_page);
    results->setObjectName(QStringLiteral("help_search_results"));
    results->setAccessibleName(QStringLiteral("検索結果"));
    results->setWordWrap(true);
    search_layout->addLayout(query_row);
    search_layout->addWidget(status);
    search_layout->addWidget(results);
    tabs->addTab(search_page, QStringLiteral("検索"));

    splitter->setStretchFactor(1, 3);
    auto* layout = new QHBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    window->resize(900, 600);

    QObject::connect(contents, &QHelpContentWidget::linkActivated, browser,
                     [browser](const QUrl& url) { browser->setSource(url); });
    QObject::connect(index_filter, &QLineEdit::textChanged, index,
                     [index](const QString& text) { index->filterIndices(text); });
    QObject::connect(index_filter, &QLineEdit::returnPressed, index,
                     &QHelpIndexWidget::activateCurrentItem);
    QObject::connect(index, &QHelpIndexWidget::documentActivated, browser,
                     [browser](const QHelpLink& link) { browser->setSource(link.url); });
    QObject::connect(index, &QHelpIndexWidget::documentsActivated, browser,
                     [browser](const QList<QHelpLink>& links) {
                         if (!links.isEmpty())
                             browser->setSource(links.front().url);
                     });
    const auto run_search = [index_data, query, status, results] {
        results->clear();
        const QString words = query->text().trimmed();
        if (words.isEmpty()) {
            status->setText(QStringLiteral("検索する語句を入力してください"));
            return;
        }
        const QList<HelpSearchIndex::Hit> hits = index_data->search(words);
        status->setText(hits.isEmpty()
                            ? QStringLiteral("「%1」を含むページは見つかりませんでした").arg(words)
                            : QStringLiteral("%1 件のページが見つかりました").arg(hits.size()));
        for (const HelpSearchIndex::Hit& hit : hits) {
            auto* item = new QListWidgetItem(hit.title + QLatin1Char('\n') + hit.excerpt, results);
            item->setData(Qt::UserRole, hit.url);
        }
    };
    QObject::connect(query, &QLineEdit::returnPressed, results, run_search);
    QObject::connect(run, &QPushButton::clicked, results, run_search);
    const auto show_hit = [browser, query](QListWidgetItem* item) {
        browser->setSource(item->data(Qt::UserRole).toUrl());
        const QStringList words = query->text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!words.isEmpty())
            browser->find(words.front());
    };
    QObject::connect(results, &QListWidget::itemClicked, browser, show_hit);
    QObject::connect(results, &QListWidget::itemActivated, browser, show_hit);

    // The first page of the contents, once they are built.
    QObject::connect(engine->contentModel(), &QHelpContentModel::contentsCreated, browser,
                     [engine, browser] {
                         QHelpContentModel* model = engine->contentModel();
                         if (browser->source().isEmpty() && model->rowCount() > 0) {
                             if (QHelpContentItem* item = model->contentItemAt(model->index(0, 0)))
                                 browser->setSource(item->url());
                         }
                     });
    return window;
}

} // namespace

QtHelpViewer::QtHelpViewer() : QtHelpViewer(default_collection_file(), default_work_dir()) {}

QtHelpViewer::QtHelpViewer(QString collection_file, QString work_dir)
    : m_collection(std::move(collection_file)), m_work_dir(std::move(work_dir))
{}

QtHelpViewer::~QtHelpViewer() = default;

QString QtHelpViewer::default_collection_file()
{
    return collection_file_for(QCoreApplication::applicationDirPath());
}

QString QtHelpViewer::collection_file_for(const QString& program_dir)
{
    // Installed: <prefix>/bin/pelmora with the help in <prefix>/share/pelmora. In a build
    // tree the collection is built next to the program.
    const QString installed =
        QDir::cleanPath(program_dir + QStringLiteral("/../share/pelmora/pelmora.qhc"));
    if (QFileInfo::exists(installed))
        return installed;
    return program_dir + QStringLiteral("/pelmora.qhc");
}

QString QtHelpViewer::default_work_dir()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/help");
}

QString QtHelpViewer::working_collection() const
{
    const QFileInfo installed(m_collection);
    if (!installed.isFile() || !installed.isReadable())
        return {};
    if (!QDir().mkpath(m_work_dir))
        return {};
    const QString copy = QDir(m_work_dir).filePath(installed.fileName());
    const QFileInfo current(copy);
    if (current.exists() && current.lastModified() >= installed.lastModified())
        return copy;

    QFile::remove(copy);
    // The search index of the old copy, in the folder Qt Help names after the collection.
    QDir(QDir(m_work_dir).filePath(QLatin1Char('.') + installed.completeBaseName()))
        .removeRecursively();
    QHelpEngineCore source(m_collection);
    source.setReadOnly(true);
    if (!source.setupData() || source.registeredDocumentations().isEmpty() ||
        !source.copyCollectionFile(copy))
        return {};
    return copy;
}

void QtHelpViewer::show_topics()
{
    if (!m_window) {
        const QString collection = working_collection();
        if (collection.isEmpty())
            return;
        m_window = make_help_window(collection);
        if (!m_window)
            return;
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace pelmora
