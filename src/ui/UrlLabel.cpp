#include "ui/UrlLabel.h"

#include <QDesktopServices>
#include <QDir>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QUrl>

namespace kestrin {

namespace {

const QColor kBlue(0, 0, 255);
const QColor kNavy(0, 0, 128);

QString Prefix(TUrlType type, const QString& custom) {
    switch (type) {
        case utCustom: return custom;
        case utFile: return QStringLiteral("file://");
        case utFtp: return QStringLiteral("ftp://");
        case utGopher: return QStringLiteral("gopher://");
        case utHttp: return QStringLiteral("http://");
        case utHttps: return QStringLiteral("https://");
        case utMail: return QStringLiteral("mailto:");
        case utNews: return QStringLiteral("news:");
        case utTelnet: return QStringLiteral("telnet:");
        case utWais: return QStringLiteral("wais:");
    }
    return {};
}

}  // namespace

QString ReplaceAll(const QString& search, const QString& replacement, const QString& text) {
    if (search.isEmpty()) return text;
    QString result = text;
    return result.replace(search, replacement, Qt::CaseInsensitive);
}

TUrlLabel::TUrlLabel(QWidget* parent) : QLabel(parent) {
    SetFontColor(kNavy);
    QFont f = font();
    f.setFamily(QFontDatabase::families().contains(QStringLiteral("Tahoma")) ? QStringLiteral("Tahoma")
                                                                               : QStringLiteral("Arial"));
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    detectMouse_ = true;
    underlineOnEnter_ = true;
    activeColor_ = kBlue;
    inactiveColor_ = kNavy;
    SetShowUrlHint(true);
}

TUrlLabel::~TUrlLabel() = default;

void TUrlLabel::SetBcc(const QString& bcc) {
    bcc_ = bcc;
    RefreshHint();
}

void TUrlLabel::SetCc(const QString& cc) {
    cc_ = cc;
    RefreshHint();
}

void TUrlLabel::SetDetectMouse(bool detect) {
    detectMouse_ = detect;
    QFont f = font();
    f.setUnderline(!detect);
    setFont(f);
}

void TUrlLabel::SetMailBody(const QStringList& lines) {
    mailBody_ = lines;
    RefreshHint();
}

void TUrlLabel::SetMailSubject(const QString& subject) {
    mailSubject_ = subject;
    RefreshHint();
}

void TUrlLabel::SetShowUrlHint(bool show) {
    showUrlHint_ = show;
    if (show) {
        setToolTip(ComposeTarget());
    } else if (toolTip() == ComposeTarget()) {
        setToolTip(QString());
    }
}

void TUrlLabel::SetURLType(TUrlType type) {
    urlType_ = type;
    RefreshHint();
}

void TUrlLabel::SetURL(const QString& url) {
    url_ = url;
    RefreshHint();
}

void TUrlLabel::RefreshHint() {
    if (showUrlHint_) setToolTip(ComposeTarget());
}

void TUrlLabel::SetFontColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

void TUrlLabel::SetFontStyle(bool underline) {
    QFont f = font();
    f.setBold(false);
    f.setItalic(false);
    f.setStrikeOut(false);
    f.setUnderline(underline);
    setFont(f);
}

QString TUrlLabel::MailBodyText() const {
    QString text;
    for (const QString& line : mailBody_) text += line + QStringLiteral("\r\n");
    return ReplaceAll(QStringLiteral("\r\n"), QStringLiteral("%0D%0A"), text);
}

QString TUrlLabel::ComposeTarget() const {
    QString target = Prefix(urlType_, customURLType_) + url_;
    if (urlType_ != utMail) return target;
    bool first = true;
    auto append = [&](const char* key, const QString& value) {
        if (value.isEmpty()) return;
        target += (first ? QLatin1Char('?') : QLatin1Char('&')) + QLatin1String(key) + value;
        first = false;
    };
    append("Subject=", mailSubject_);
    append("Body=", MailBodyText());
    append("Bcc=", bcc_);
    append("Cc=", cc_);
    return target;
}

void TUrlLabel::Click() { OpenTarget(ComposeTarget()); }

void TUrlLabel::OpenTarget(const QString& target) {
    QUrl url(target, QUrl::TolerantMode);
    // Without a scheme (a bare path or host name) the desktop gets what a user
    // typing the text would mean: a local file or a web address.
    if (url.scheme().size() < 2) url = QUrl::fromUserInput(target, QDir::currentPath(), QUrl::AssumeLocalFile);
    QDesktopServices::openUrl(url);
}

bool TUrlLabel::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip && !showHint_) {
        e->ignore();
        return true;
    }
    return QLabel::event(e);
}

void TUrlLabel::enterEvent(QEnterEvent* e) {
    if (detectMouse_) {
        SetFontColor(activeColor_);
        if (underlineOnEnter_) SetFontStyle(true);
    }
    QLabel::enterEvent(e);
    if (OnMouseEnter) OnMouseEnter(this);
}

void TUrlLabel::leaveEvent(QEvent* e) {
    if (detectMouse_) {
        SetFontColor(inactiveColor_);
        SetFontStyle(false);
    }
    QLabel::leaveEvent(e);
    if (OnMouseLeave) OnMouseLeave(this);
}

void TUrlLabel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) pressed_ = true;
    QLabel::mousePressEvent(e);
}

void TUrlLabel::mouseReleaseEvent(QMouseEvent* e) {
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    if (e->button() == Qt::LeftButton) pressed_ = false;
    QLabel::mouseReleaseEvent(e);
    if (click) Click();
}

}  // namespace kestrin
