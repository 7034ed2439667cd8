// A text label that behaves like a hyperlink: it lights up (and underlines
// itself) while the mouse is over it, shows its target as the hint, and on a
// click hands the composed target (web page, mail message, file, news group,
// ...) to the desktop's default handler. It knows nothing of the rest of the
// program.
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <QStringList>

#include <functional>

namespace kestrin {

// Link kinds; each puts its prefix in front of the URL.
enum TUrlType { utCustom, utFile, utFtp, utGopher, utHttp, utHttps, utMail, utNews, utTelnet, utWais };

// Text with every occurrence of search replaced, scanning left to right and
// continuing after each replaced occurrence; letter case is ignored. An empty
// search string leaves the text as it is.
QString ReplaceAll(const QString& search, const QString& replacement, const QString& text);

class TUrlLabel : public QLabel {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TUrlLabel* sender)>;

    explicit TUrlLabel(QWidget* parent = nullptr);
    ~TUrlLabel() override;

    // Font colour while the mouse is over the label.
    QColor ActiveColor() const { return activeColor_; }
    void SetActiveColor(const QColor& color) { activeColor_ = color; }
    // Blind copy recipients of a mail link.
    const QString& Bcc() const { return bcc_; }
    void SetBcc(const QString& bcc);
    // Copy recipients of a mail link.
    const QString& Cc() const { return cc_; }
    void SetCc(const QString& cc);
    // Prefix of a utCustom link; empty: the URL is the target unchanged.
    const QString& CustomURLType() const { return customURLType_; }
    void SetCustomURLType(const QString& prefix) { customURLType_ = prefix; }
    // React to the mouse entering and leaving. A label that does not is
    // always underlined.
    bool DetectMouse() const { return detectMouse_; }
    void SetDetectMouse(bool detect);
    // Font colour after the mouse has left the label.
    QColor InactiveColor() const { return inactiveColor_; }
    void SetInactiveColor(const QColor& color) { inactiveColor_ = color; }
    // Body of a mail link. Lines changed in place through the reference do
    // not refresh the hint; SetMailBody does.
    QStringList& MailBody() { return mailBody_; }
    const QStringList& MailBody() const { return mailBody_; }
    void SetMailBody(const QStringList& lines);
    // Subject of a mail link.
    const QString& MailSubject() const { return mailSubject_; }
    void SetMailSubject(const QString& subject);
    // Keep the hint equal to the composed target. Switching it off clears the
    // hint only when it is the target, so a hint set by hand stays.
    bool ShowUrlHint() const { return showUrlHint_; }
    void SetShowUrlHint(bool show);
    // Underline while the mouse is over the label.
    bool UnderlineOnEnter() const { return underlineOnEnter_; }
    void SetUnderlineOnEnter(bool underline) { underlineOnEnter_ = underline; }
    TUrlType URLType() const { return urlType_; }
    void SetURLType(TUrlType type);
    // The address part of the target.
    const QString& URL() const { return url_; }
    void SetURL(const QString& url);

    // Whether the hint pops up at all (the hint text is kept either way).
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show) { showHint_ = show; }

    // Called after the mouse has entered / left the label.
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

    // The target as a click would open it now.
    QString ComposeTarget() const;
    // Opens the composed target.
    void Click();

protected:
    // Hands a target to the desktop's default handler for its scheme, without
    // waiting for it; a failure is not reported.
    virtual void OpenTarget(const QString& target);

    bool event(QEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void RefreshHint();
    void SetFontColor(const QColor& color);
    // Replaces the whole style: underlined alone, or no style at all.
    void SetFontStyle(bool underline);
    QString MailBodyText() const;

    QColor activeColor_;
    QString bcc_;
    QString cc_;
    QString customURLType_;
    bool detectMouse_ = true;
    QColor inactiveColor_;
    QStringList mailBody_;
    QString mailSubject_;
    bool showUrlHint_ = false;
    bool underlineOnEnter_ = true;
    TUrlType urlType_ = utCustom;
    QString url_;
    bool showHint_ = true;
    bool pressed_ = false;
};

}  // namespace kestrin
