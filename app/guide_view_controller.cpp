#include "app/guide_view_controller.h"

#include "app/drive_vaults.h"

#include "access/password_rules.h"
#include "access/vault_creation.h"
#include "app/ui_resources.h"
#include "controls/modal_seam.h"
#include "controls/ns_page_view.h"
#include "controls/shake.h"
#include "controls/ts_image_view.h"
#include "controls/ts_palette.h"
#include "controls/ts_view.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <numbers>

namespace tessaro {

namespace {

constexpr int kBottomBarHeight = 60;
constexpr int kPictureWidth = 360;
constexpr int kPictureHeight = 260;
constexpr int kScrollMs = 260;
constexpr int kTurnMs = 100;
constexpr char kPanelTitle[] = "My Vault";
constexpr char kSuggestedName[] = "My Vault";

const QColor kFieldBorder(186, 186, 189);
const QColor kFieldFocusBorder(0x1A, 0xA3, 0x9A);

std::function<QString()>& videosFolderProvider() {
    static std::function<QString()> provider;
    return provider;
}

QFont guideFont(int pixels) {
    QFont font(QStringLiteral("KannadaSangamMN"));
    font.setPixelSize(pixels);
    return font;
}

}  // namespace

QString GuideViewController::videosFolder() {
    if (videosFolderProvider()) {
        return videosFolderProvider()();
    }
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return QFileInfo(videos).isDir() ? videos : QDir::homePath();
}

void GuideViewController::setVideosFolderProvider(std::function<QString()> provider) {
    videosFolderProvider() = std::move(provider);
}

GuideViewController::GuideViewController(bool tutorial, QWidget* parent)
    : QWidget(parent), helpIntoWelcome(tutorial), flow_(tutorial), scroll_(nullptr, "pos") {
    setObjectName(QStringLiteral("GuideViewController"));
    viewport_ = new QWidget(this);
    viewport_->setObjectName(QStringLiteral("guidePages"));
    strip_ = new QWidget(viewport_);
    scroll_.setTargetObject(strip_);
    scroll_.setDuration(kScrollMs);
    scroll_.setEasingCurve(QEasingCurve::OutCubic);

    pages_.append(makePage("img/step_1_x2.png", "oneTitle.stringValue",
                           {"oneDesc1Label.stringValue", "oneDesc2Label.stringValue"}));
    pages_.append(makePage("img/step_2_x2.png", "twoTitle.stringValue",
                           {"twoDesc1Label.stringValue", "twoDesc2Label.stringValue", "twoDesc3Label.stringValue",
                            "twoDesc4Label.stringValue", "twoDesc5Label.stringValue"}));
    pages_.append(makePage("img/step_3_x2.png", "threTitle.stringValue",
                           {"threDesc1Label.stringValue", "threDesc2Label.stringValue"}));
    pages_.append(kDriveVaultsAvailable
                      ? makePage("img/step_5_x2.png", "sixTitleLabel.stringValue",
                                 {"sixDescLabel.stringValue", "sixDesc2Label.stringValue"})
                      : makePage("img/step_5_x2.png", "sixTitleLabel.stringValue",
                                 {"sixDescLabel.later", "sixDesc2Label.later"}));
    pages_.append(makePasswordPage());
    // The notes page is built but kept out of the strip: the guide never shows it.
    unusedPage_ = makePage("img/step_4_x2.png", "fourTitleLabel.stringValue",
                           {"fourDesc1Label.stringValue", "fourDesc2Label.stringValue", "fourDesc3Label.stringValue"});
    unusedPage_->hide();

    pageView_ = new controls::NSPageView(this);
    pageView_->setCount(flow_.pageCount());
    pageView_->PageActionBlock = [this](qint64 page) {
        flow_.setPageIndex(page);
        setScrollContent();
    };
    enterBtn_ = new QPushButton(this);
    enterBtn_->setObjectName(QStringLiteral("enterBtn"));
    enterBtn_->setCursor(Qt::PointingHandCursor);
    enterBtn_->setFocusPolicy(Qt::TabFocus);
    enterBtn_->setStyleSheet(QStringLiteral(
        "QPushButton { border: none; border-radius: 7px; background: #0E7C74; color: white; padding: 7px 22px;"
        " font-weight: 600; }"
        "QPushButton:hover { background: #1AA39A; }"
        "QPushButton:pressed { background: #0B5F59; }"));
    enterBtn_->setText(ui::text(flow_.forwardTitleKey()));
    connect(enterBtn_, &QPushButton::clicked, this, &GuideViewController::enterAction);
    pageView_->setAccessibleName(ui::text("guidePager.accessibleName"));
    resize(kSize);
    layoutStrip(false);
}

QLabel* GuideViewController::makeLabel(const char* key, int pixels, const char* colour, QWidget* parent) {
    auto* label = new QLabel(ui::text(key), parent);
    label->setObjectName(QString::fromLatin1(key));
    label->setFont(guideFont(pixels));
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(colour)));
    return label;
}

QLabel* GuideViewController::makeTitle(const char* key, QWidget* parent) { return makeLabel(key, 25, "#ffffff", parent); }

QLabel* GuideViewController::makeDescription(const char* key, QWidget* parent) {
    return makeLabel(key, 15, "rgba(255, 255, 255, 0.78)", parent);
}

QWidget* GuideViewController::makePage(const char* picture, const char* titleKey, const QList<const char*>& descKeys) {
    auto* page = new QWidget(strip_);
    page->setObjectName(QString::fromLatin1(picture));
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(40, 30, 44, 10);
    row->setSpacing(36);
    auto* image = new QLabel(page);
    image->setObjectName(QStringLiteral("picture"));
    image->setFixedSize(kPictureWidth, kPictureHeight);
    image->setPixmap(ui::picturePixmap(QString::fromLatin1(picture), QSize(kPictureWidth, kPictureHeight), devicePixelRatioF()));
    row->addWidget(image, 0, Qt::AlignVCenter);
    auto* column = new QVBoxLayout;
    column->setSpacing(10);
    column->addStretch(1);
    column->addWidget(makeTitle(titleKey, page));
    column->addSpacing(4);
    for (const char* key : descKeys) {
        column->addWidget(makeDescription(key, page));
    }
    column->addStretch(1);
    row->addLayout(column, 1);
    return page;
}

QLineEdit* GuideViewController::makeField(controls::TSView** frame, const char* placeholderKey, bool secure,
                                          QWidget* parent) {
    *frame = new controls::TSView(parent);
    (*frame)->setCornerRadius(4);
    (*frame)->setFixedHeight(38);
    auto* inner = new QHBoxLayout(*frame);
    inner->setContentsMargins(10, 2, 10, 2);
    auto* field = new QLineEdit(*frame);
    field->setFrame(false);
    field->setEchoMode(secure ? QLineEdit::Password : QLineEdit::Normal);
    field->setPlaceholderText(ui::text(placeholderKey));
    field->setProperty("placeholderKey", QByteArray(placeholderKey));
    field->setAccessibleName(field->placeholderText());
    field->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; color: #1e1e22; }"));
    QFont font = field->font();
    font.setPixelSize(13);
    field->setFont(font);
    inner->addWidget(field);
    controls::followFocus(*frame, field, kFieldBorder, kFieldFocusBorder);
    return field;
}

QWidget* GuideViewController::makePasswordPage() {
    auto* page = new QWidget(strip_);
    page->setObjectName(QStringLiteral("About/loginLock.png"));
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(40, 24, 44, 6);
    row->setSpacing(36);

    auto* left = new QVBoxLayout;
    left->setSpacing(8);
    left->addStretch(1);
    lockView_ = new controls::TSImageView(page);
    lockView_->setObjectName(QStringLiteral("lockView"));
    lockView_->setPicture(ui::picture(QStringLiteral("About/loginLock.png")), QSize(112, 112));
    left->addWidget(lockView_, 0, Qt::AlignHCenter);
    left->addSpacing(6);
    QLabel* title = makeTitle("fiveTitleLabel.stringValue", page);
    title->setAlignment(Qt::AlignHCenter);
    left->addWidget(title);
    for (const char* key : {"fiveDesc1Label.stringValue", "fiveDesc2Label.stringValue", "fiveDesc3Label.stringValue"}) {
        QLabel* line = makeDescription(key, page);
        line->setAlignment(Qt::AlignHCenter);
        left->addWidget(line);
    }
    left->addStretch(1);
    auto* leftBox = new QWidget(page);
    leftBox->setFixedWidth(kPictureWidth);
    leftBox->setLayout(left);
    row->addWidget(leftBox);

    auto* right = new QVBoxLayout;
    right->setSpacing(12);
    right->addStretch(1);
    passwordTextField_ = makeField(&passwordFrame_, "password_TextField.placeholderString", true, page);
    passwordTextField_->setObjectName(QStringLiteral("passwordTextField"));
    sourePasswordTextField_ = makeField(&confirmationFrame_, "sourepassword_TextField.placeholderString", true, page);
    sourePasswordTextField_->setObjectName(QStringLiteral("sourePasswordTextField"));
    passwordHitTextField_ = makeField(&hintFrame_, "passwordhint.placeholderString", false, page);
    passwordHitTextField_->setObjectName(QStringLiteral("passwordHitTextField"));
    QFont hintFont = passwordHitTextField_->font();
    hintFont.setPixelSize(13);
    passwordHitTextField_->setFont(hintFont);
    right->addWidget(passwordFrame_);
    right->addWidget(confirmationFrame_);
    right->addWidget(hintFrame_);
    remmenberBtn_ = new QCheckBox(ui::text("remmenberBtn.title"), page);
    remmenberBtn_->setObjectName(QStringLiteral("remmenberBtn"));
    QFont boxFont = remmenberBtn_->font();
    boxFont.setPixelSize(15);
    remmenberBtn_->setFont(boxFont);
    remmenberBtn_->setStyleSheet(QStringLiteral("QCheckBox { color: rgba(255, 255, 255, 0.85); }"));
    right->addWidget(remmenberBtn_);
    right->addStretch(1);
    row->addLayout(right, 1);

    setTabOrder(passwordTextField_, sourePasswordTextField_);
    setTabOrder(sourePasswordTextField_, passwordHitTextField_);
    setTabOrder(passwordHitTextField_, remmenberBtn_);
    // Return in the password field hands over to the confirmation; in the others it is
    // the forward button.
    connect(passwordTextField_, &QLineEdit::returnPressed, this,
            [this] { sourePasswordTextField_->setFocus(Qt::TabFocusReason); });
    connect(sourePasswordTextField_, &QLineEdit::returnPressed, this, &GuideViewController::enterAction);
    connect(passwordHitTextField_, &QLineEdit::returnPressed, this, &GuideViewController::enterAction);
    connect(passwordTextField_, &QLineEdit::textChanged, this, &GuideViewController::turnLock);
    connect(sourePasswordTextField_, &QLineEdit::textChanged, this, &GuideViewController::turnLock);
    return page;
}

void GuideViewController::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutStrip(false);
}

void GuideViewController::layoutStrip(bool animated) {
    const int pageWidth = width();
    const int pageHeight = std::max(0, height() - kBottomBarHeight);
    viewport_->setGeometry(0, 0, pageWidth, pageHeight);
    strip_->resize(pageWidth * static_cast<int>(pages_.size()), pageHeight);
    for (qsizetype i = 0; i < pages_.size(); ++i) {
        pages_[i]->setGeometry(static_cast<int>(i) * pageWidth, 0, pageWidth, pageHeight);
        // Fields of pages out of view must not take the focus through Tab.
        pages_[i]->setEnabled(i == flow_.pageIndex());
    }
    // Out of reach: beyond the last page, where no scroll goes.
    unusedPage_->setGeometry(static_cast<int>(pages_.size()) * pageWidth, 0, pageWidth, pageHeight);
    const QSize pager = pageView_->sizeHint();
    pageView_->setGeometry((pageWidth - pager.width()) / 2, pageHeight + (kBottomBarHeight - pager.height()) / 2,
                           pager.width(), pager.height());
    const QSize button = enterBtn_->sizeHint().expandedTo(QSize(120, 34));
    enterBtn_->setGeometry(pageWidth - 44 - button.width(), pageHeight + (kBottomBarHeight - button.height()) / 2 - 4,
                           button.width(), button.height());
    scrollTarget_ = -static_cast<int>(flow_.pageIndex()) * pageWidth;
    scroll_.stop();
    if (animated && isVisible()) {
        scroll_.setStartValue(strip_->pos());
        scroll_.setEndValue(QPoint(scrollTarget_, 0));
        scroll_.start();
    } else {
        strip_->move(scrollTarget_, 0);
    }
}

void GuideViewController::setScrollContent() {
    QTimer::singleShot(0, this, [this] {
        enterBtn_->setText(ui::text(flow_.forwardTitleKey()));
        pageView_->setPageIndex(flow_.pageIndex());
        layoutStrip(true);
        if (flow_.pageIndex() == 4 && !helpIntoWelcome) {
            passwordTextField_->setFocus(Qt::OtherFocusReason);
        }
    });
}

void GuideViewController::enterAction() {
    if (choosing_) {
        return;
    }
    switch (flow_.forwardPressed(passwordTextField_->text(), sourePasswordTextField_->text())) {
    case access::GuideFlow::Forward::NextPage:
        pageView_->setPageIndex(flow_.pageIndex());
        setScrollContent();
        return;
    case access::GuideFlow::Forward::Finish:
        if (BlackBlock) {
            BlackBlock();
        }
        return;
    case access::GuideFlow::Forward::RefuseEmpty:
        controls::shake(passwordFrame_);
        passwordTextField_->setFocus(Qt::OtherFocusReason);
        return;
    case access::GuideFlow::Forward::RefuseMismatch:
        sourePasswordTextField_->clear();
        controls::shake(confirmationFrame_);
        sourePasswordTextField_->setFocus(Qt::OtherFocusReason);
        return;
    case access::GuideFlow::Forward::ChooseLocation: break;
    }
    // A password that could not be stored or used is refused before a location is asked.
    const access::PasswordRefusal refusal = access::refusalForNewPassword(passwordTextField_->text());
    if (refusal != access::PasswordRefusal::None) {
        controls::shake(passwordFrame_);
        controls::ModalSeam::alert(this, {ui::text("wenxintishi"), ui::text("password.refusedTitle"),
                                          access::describeRefusal(refusal)});
        return;
    }
    choosing_ = true;
    QTimer::singleShot(0, this, &GuideViewController::chooseLocation);
}

void GuideViewController::chooseLocation() {
    controls::ModalSeam::savePanel(
        this, {QString::fromLatin1(kPanelTitle), ui::text("SavePanel.message"), videosFolder(), QString::fromLatin1(kSuggestedName)},
        [guard = QPointer<GuideViewController>(this)](std::optional<QString> chosen) {
            if (!guard) {
                return;
            }
            if (!chosen) {
                // Cancelled: the guide stays as it was.
                guard->choosing_ = false;
                return;
            }
            QTimer::singleShot(0, guard, [guard, path = *chosen] { guard->createVault(path); });
        });
}

void GuideViewController::createVault(const QString& chosenPath) {
    const access::VaultCreation created = access::createVault(
        {chosenPath, passwordTextField_->text(), passwordHitTextField_->text(), remmenberBtn_->isChecked()});
    choosing_ = false;
    if (!created.ok) {
        controls::ModalSeam::alert(this, {ui::text("wenxintishi"), ui::text("vaultCreation.failedTitle"), created.message});
        return;
    }
    emit vaultCreated();
}

void GuideViewController::turnLock() {
    const qint64 k = QRandomGenerator::global()->bounded(4, 9);
    const float end = static_cast<float>(2 * std::numbers::pi / static_cast<double>(k));
    lockView_->setAngle(animationFlagValue);
    lockView_->turnTo(end, kTurnMs);
    animationFlagValue = end;
}

void GuideViewController::langeuageAction() {
    // Every text label is named after its key.
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->objectName().contains(QLatin1Char('.'))) {
            label->setText(LanguageBundle::localizedStringForKey(label->objectName()));
        }
    }
    for (QLineEdit* field : findChildren<QLineEdit*>()) {
        const QByteArray key = field->property("placeholderKey").toByteArray();
        if (!key.isEmpty()) {
            field->setPlaceholderText(ui::text(key.constData()));
            field->setAccessibleName(field->placeholderText());
        }
    }
    remmenberBtn_->setText(ui::text("remmenberBtn.title"));
    enterBtn_->setText(ui::text(flow_.forwardTitleKey()));
    pageView_->setAccessibleName(ui::text("guidePager.accessibleName"));
    layoutStrip(false);
    update();
}

void GuideViewController::paintEvent(QPaintEvent*) {
    // In the tutorial the welcome window draws the translucent backdrop.
    if (!helpIntoWelcome) {
        QPainter painter(this);
        painter.fillRect(rect(), controls::inkColor(1.0));
    }
}

void GuideViewController::mousePressEvent(QMouseEvent* event) {
    // The window is dragged by the guide's background.
    if (event->button() == Qt::LeftButton && window()->windowHandle()) {
        window()->windowHandle()->startSystemMove();
    }
    QWidget::mousePressEvent(event);
}

}  // namespace tessaro
