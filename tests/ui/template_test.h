#ifndef VELMORA_TESTS_UI_TEMPLATE_TEST_H
#define VELMORA_TESTS_UI_TEMPLATE_TEST_H

#include <QObject>

class DialogTemplateTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void windowFromTemplate();
    void controlsInTemplateOrder();
    void controlsOnTopOfTheGroupBox();
    void tabOrderIsTemplateOrder();
    void mnemonicsAreUnderlined();
    void everyTextFits();
    void openListHeightFromTemplate_data();
    void openListHeightFromTemplate();
};

#endif
