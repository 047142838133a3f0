#include "app/ts_popover_view_controller.h"

#include "access/login_attempts.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tessaro {

TSPopoverViewController::TSPopoverViewController(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TSPopoverViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    titleLabel_ = new QLabel(this);
    titleLabel_->setObjectName(QStringLiteral("titleLabel"));
    QFont bold = titleLabel_->font();
    bold.setWeight(QFont::DemiBold);
    titleLabel_->setFont(bold);
    titleLabel_->setStyleSheet(QStringLiteral("color: #1e1e22;"));
    layout->addWidget(titleLabel_);
    passwordhintLabel_ = new QLabel(this);
    passwordhintLabel_->setObjectName(QStringLiteral("passwordhintLabel"));
    passwordhintLabel_->setWordWrap(true);
    passwordhintLabel_->setTextFormat(Qt::PlainText);
    passwordhintLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    passwordhintLabel_->setStyleSheet(QStringLiteral("color: #45454a;"));
    layout->addWidget(passwordhintLabel_, 1);
}

QSize TSPopoverViewController::fill() {
    const access::HintPopoverContent content = access::hintPopoverContent(errorCount, access::storedHint());
    titleLabel_->setText(content.title);
    passwordhintLabel_->setText(content.text);
    return content.size;
}

}  // namespace tessaro
