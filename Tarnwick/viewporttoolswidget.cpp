#include "Tarnwick/viewporttoolswidget.h"

#include "Tarnwick/TarnwickResources.h"
#include "Tarnwick/shadingparamsbutton.h"
#include "Tarnwick/whitebutton.h"
#include "ui_viewporttoolswidget.h"

#include <QSpacerItem>

namespace {

WhiteButton* stripButton(QWidget* parent, const char* toolTip, const char* iconPath)
{
    auto* button = new WhiteButton(parent);
    button->setToolTip(QString::fromLatin1(toolTip));
    button->setIcon(QIcon(QString::fromLatin1(iconPath)));
    button->setIconSize(QSize(32, 32));
    return button;
}

}  // namespace

ViewportToolsWidget::ViewportToolsWidget(QWidget* parent) : QWidget(parent), ui_(new Ui::ViewportToolsWidget)
{
    initTarnwickResources();
    ui_->setupUi(this);
    QWidget* strip = ui_->widget;
    loadFile_ = stripButton(strip, "Load model", ":/Images/folder.png");
    loadTexture_ = stripButton(strip, "Load texture", ":/Images/photography.png");
    fitToView_ = stripButton(strip, "Fit to view", ":/Images/limited-edition.png");
    saveModel_ = stripButton(strip, "Save model to file", ":/Images/save-model.png");
    saveTexture_ = stripButton(strip, "Save texture to file", ":/Images/save-texture.png");
    shading_ = new ShadingParamsButton(true, true, true, strip);

    QHBoxLayout* row = ui_->horizontalLayout;
    row->addWidget(loadFile_);
    row->addWidget(loadTexture_);
    row->addWidget(saveModel_);
    row->addWidget(saveTexture_);
    row->addWidget(shading_);
    row->addWidget(fitToView_);
    row->addItem(new QSpacerItem(20, 5, QSizePolicy::Expanding, QSizePolicy::Minimum));

    connect(loadFile_, &QPushButton::clicked, this, &ViewportToolsWidget::loadFileClicked);
    connect(loadTexture_, &QPushButton::clicked, this, &ViewportToolsWidget::loadTextureClicked);
    connect(saveModel_, &QPushButton::clicked, this, &ViewportToolsWidget::saveFileClicked);
    connect(saveTexture_, &QPushButton::clicked, this, &ViewportToolsWidget::saveTextureClicked);
    connect(shading_, &ShadingParamsButton::shadingParamsChanged, this, &ViewportToolsWidget::shadingParamsChanged);
    connect(fitToView_, &QPushButton::clicked, this, &ViewportToolsWidget::fitToViewClicked);
}

ViewportToolsWidget::~ViewportToolsWidget()
{
    delete ui_;
}

QSize ViewportToolsWidget::sizeHint() const
{
    return QSize(10, 10);
}

void ViewportToolsWidget::setLoadFileToolTip(const QString& toolTip)
{
    loadFile_->setToolTip(toolTip);
}

void ViewportToolsWidget::setShadingParams(bool textured, bool shaded, bool wireVisible)
{
    shading_->setShadingParams(textured, shaded, wireVisible);
}

void ViewportToolsWidget::setSaveModelVisible(bool visible)
{
    saveModel_->setVisible(visible);
}

void ViewportToolsWidget::setSaveTextureVisible(bool visible)
{
    saveTexture_->setVisible(visible);
}

void ViewportToolsWidget::setEnabledSaveModel(bool enabled)
{
    saveModel_->setEnabled(enabled);
}

void ViewportToolsWidget::setEnabledSaveTexture(bool enabled)
{
    saveTexture_->setEnabled(enabled);
}

void ViewportToolsWidget::setEnabledShadingParams(bool enabled)
{
    shading_->setEnabled(enabled);
}

void ViewportToolsWidget::setEnabledFitToView(bool enabled)
{
    fitToView_->setEnabled(enabled);
}

void ViewportToolsWidget::setEnabledLoadFile(bool enabled)
{
    loadFile_->setEnabled(enabled);
}

void ViewportToolsWidget::setEnabledLoadTexture(bool enabled)
{
    loadTexture_->setEnabled(enabled);
}
