#pragma once

#include <QGroupBox>
#include <QUrl>

class QTextBrowser;

namespace tessivo {

// The About page "关于" (Frame4): a browser (eb) that is blank until the page is first opened and
// loads the program's About address every time it is opened.
class AboutPage : public QGroupBox {
    Q_OBJECT

public:
    explicit AboutPage(QWidget* parent = nullptr);

    // The fixed About address: a page built into the program, so it shows without a network.
    static QUrl Address();

    // Loads the About address (again).
    void navigate();
    // How many times the address has been loaded.
    int navigations() const { return m_navigations; }
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
    int m_navigations = 0;
};

} // namespace tessivo
