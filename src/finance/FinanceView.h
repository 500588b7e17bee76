#pragma once
#include "finance/FinEntry.h"
#include "ui/Page.h"
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPointer>

class FinEntriesTable;
class FinStatCard;
class QLabel;
class QPushButton;

// The "finances" page: a header with the title, month navigation and the export menu; three summary
// cards (income, expenses, balance) for the shown month; the add-entry form; and the month's entries
// table with a delete button per row. It redraws (queued, merged) when the store or the language
// changes; setup() builds it again after theme and font-scale changes.
class FinanceView : public Page {
    Q_OBJECT
public:
    explicit FinanceView(QWidget *parent = nullptr);

    void setup() override;

    int dispMonth() const { return dispMonth_; }
    int dispYear() const { return dispYear_; }
    void showMonth(int month, int year);
    // Back (-1) or forward (+1) one month, across years.
    void navMonth(int step);
    // Validates the form and adds the entry; an unusable name or amount only moves the focus there.
    void doAddEntry();

    // The file actions of the export menu.
    void showExportMenu();
    void doExportCSV();
    void doExportTXT();
    void doExportPDF();
    void doExportJSON();
    void doImportJSON();

    // Reached by tests.
    FinEntriesTable *table() const { return table_; }
    FinStatCard *incomeCard() const { return incCard_; }
    FinStatCard *expenseCard() const { return expCard_; }
    FinStatCard *balanceCard() const { return balCard_; }
    QLineEdit *nameField() const { return formNameF_; }
    QLineEdit *amountField() const { return formAmtF_; }
    QComboBox *typePopup() const { return formTypePop_; }
    QComboBox *categoryPopup() const { return formCatPop_; }
    QDateEdit *datePicker() const { return formDatePicker_; }
    QPushButton *addButton() const { return formAddBtn_; }
    QLabel *monthLabel() const { return monthLbl_; }
    QLabel *titleLabel() const { return titleLbl_; }

protected:
    void rebuild() override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void buildForm();
    void fillTypePopup();
    void fillCategoryPopup();
    void relabel();
    void layoutFrame();
    void layoutColumnHeaders();
    void importFailed();

    int dispMonth_ = 1;
    int dispYear_ = 2001;

    QPointer<QWidget> hdrBg_;
    QLabel *titleLbl_ = nullptr;
    QLabel *subHdr_ = nullptr;
    QPushButton *prevBtn_ = nullptr;
    QLabel *monthLbl_ = nullptr;
    QPushButton *nextBtn_ = nullptr;
    QPushButton *exportBtn_ = nullptr;
    FinStatCard *incCard_ = nullptr;
    FinStatCard *expCard_ = nullptr;
    FinStatCard *balCard_ = nullptr;
    QWidget *formBg_ = nullptr;
    QLabel *formHdrLbl_ = nullptr;
    // Guarded: setup() carries the form's state over from the views it replaces.
    QPointer<QLineEdit> formNameF_;
    QPointer<QLineEdit> formAmtF_;
    QPointer<QComboBox> formTypePop_;
    QPointer<QComboBox> formCatPop_;
    QPointer<QDateEdit> formDatePicker_;
    QPushButton *formAddBtn_ = nullptr;
    QWidget *colHdrBar_ = nullptr;
    QWidget *colHdrLine_ = nullptr;
    QList<QLabel *> colHdrLbls_;
    QList<QWidget *> colHdrSeps_;
    FinEntriesTable *table_ = nullptr;
};
