#include "Tarnwick/viewportresultstoolswidget.h"

#include "Tarnwick/TarnwickResources.h"
#include "Tarnwick/whitebutton.h"
#include "ui_viewportresultstoolswidget.h"

#include <QCheckBox>
#include <QSpacerItem>

ViewportResultsToolsWidget::ViewportResultsToolsWidget(QWidget* parent)
    : QWidget(parent), fitToView_(nullptr), showTarget_(nullptr), ui_(new Ui::ViewportResultsToolsWidget)
{
    initTarnwickResources();
    ui_->setupUi(this);
    fitToView_ = new WhiteButton(ui_->widget);
    fitToView_->setToolTip(QStringLiteral("Fit to view"));
    fitToView_->setIcon(QIcon(QStringLiteral(":/Images/limited-edition.png")));
    fitToView_->setIconSize(QSize(32, 32));
    showTarget_ = new QCheckBox(QStringLiteral("Show target"), ui_->widget);
    showTarget_->setLayoutDirection(Qt::RightToLeft);
    showTarget_->setChecked(true);
    // Readable on the dark strip.
    showTarget_->setStyleSheet(QStringLiteral("QCheckBox { color: white; }"));

    QHBoxLayout* row = ui_->horizontalLayout;
    row->addWidget(fitToView_);
    row->addWidget(showTarget_);
    row->addItem(new QSpacerItem(20, 5, QSizePolicy::Expanding, QSizePolicy::Minimum));

    connect(fitToView_, &QPushButton::clicked, this, &ViewportResultsToolsWidget::fitToViewClicked);
    connect(showTarget_, &QCheckBox::clicked, this, &ViewportResultsToolsWidget::showTargetModelChecked);
}

ViewportResultsToolsWidget::~ViewportResultsToolsWidget()
{
    delete ui_;
}

QSize ViewportResultsToolsWidget::sizeHint() const
{
    return QSize(10, 10);
}

void ViewportResultsToolsWidget::setEnabledFitToView(bool enabled)
{
    fitToView_->setEnabled(enabled);
}

void ViewportResultsToolsWidget::setEnabledShowTargetModel(bool enabled)
{
    showTarget_->setEnabled(enabled);
}
