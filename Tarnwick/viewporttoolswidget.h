#pragma once
// The tool strip above a model view: load model, load texture, save model,
// save texture, shading and fit to view. It only emits; the strip controller
// wires it to the models and enables its buttons.
#include <QWidget>

namespace Ui {
class ViewportToolsWidget;
}
class ShadingParamsButton;
class WhiteButton;

class ViewportToolsWidget : public QWidget {
    Q_OBJECT
public:
    explicit ViewportToolsWidget(QWidget* parent = nullptr);
    ~ViewportToolsWidget() override;

    QSize sizeHint() const override;

    void setLoadFileToolTip(const QString& toolTip);
    void setShadingParams(bool textured, bool shaded, bool wireVisible);
    void setSaveModelVisible(bool visible);
    void setSaveTextureVisible(bool visible);

    // The buttons, for whoever drives or inspects the strip.
    WhiteButton* loadFileButton() const { return loadFile_; }
    WhiteButton* loadTextureButton() const { return loadTexture_; }
    WhiteButton* fitToViewButton() const { return fitToView_; }
    WhiteButton* saveModelButton() const { return saveModel_; }
    WhiteButton* saveTextureButton() const { return saveTexture_; }
    ShadingParamsButton* shadingButton() const { return shading_; }

signals:
    void loadFileClicked();
    void loadTextureClicked();
    void saveFileClicked();
    void saveTextureClicked();
    void shadingParamsChanged(bool textured, bool shaded, bool wireVisible);
    void fitToViewClicked();

public slots:
    void setEnabledSaveModel(bool enabled);
    void setEnabledSaveTexture(bool enabled);
    void setEnabledShadingParams(bool enabled);
    void setEnabledFitToView(bool enabled);
    void setEnabledLoadFile(bool enabled);
    void setEnabledLoadTexture(bool enabled);

private:
    Ui::ViewportToolsWidget* ui_;
    WhiteButton* loadFile_;
    WhiteButton* loadTexture_;
    WhiteButton* fitToView_;
    WhiteButton* saveModel_;
    WhiteButton* saveTexture_;
    ShadingParamsButton* shading_;
};
