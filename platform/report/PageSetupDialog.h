#pragma once
#include <QDialog>
#include <QPageLayout>
#include <optional>

class QComboBox;
class QDoubleSpinBox;
class QRadioButton;

// "Configurar página": the paper, orientation and margins a layout is laid out on, filled in
// with the page in force; "Padrão do layout" puts the layout's own page back in the fields.
class TPageSetupDialog : public QDialog {
    Q_OBJECT
public:
    TPageSetupDialog(const QPageLayout &inForce, const QPageLayout &layoutDefault, QWidget *parent = nullptr);

    // The page the fields describe.
    QPageLayout PageLayout() const;
    void Show(const QPageLayout &page);
    // Why the fields cannot make a page (margins that leave no room); empty when they can.
    QString Check() const;

    void accept() override;

    QComboBox *cbbPapel;
    QRadioButton *rbtRetrato, *rbtPaisagem;
    QDoubleSpinBox *spnMargemSuperior, *spnMargemInferior, *spnMargemEsquerda, *spnMargemDireita;
};

// A page as an operator's preference keeps it ("A4;retrato;10;10;10;10": paper, orientation,
// then the top, bottom, left and right margins in millimetres), and back; none for a text
// that is not one.
QString PageLayoutText(const QPageLayout &page);
std::optional<QPageLayout> PageLayoutFromText(const QString &text);
