#ifndef VELMORA_TESTS_UI_USER32_TEST_H
#define VELMORA_TESTS_UI_USER32_TEST_H

#include <QObject>

// The user32 calls of the stand-in with a procedure of the test's own: the
// results the platform gives, including its CB_ERR cases.
class User32Test : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void comboBoxMessages();
    void dialogItems();
    void textsAndEnabling();
    void postedMessagesArriveLaterInOrder();
    void postToADestroyedDialogFails();
    void workPostedForTheMainThreadRunsInTheModalLoop();
    void endDialogGivesTheResult();
    void endDialogWhileInitialising();
    void templatesByName();
    void messageBoxes_data();
    void messageBoxes();
    void formatting_data();
    void formatting();
    void formattingStopsAt1024();
    void resourcesAsCompiled();
    void resourcesCutShortAreRefused();
};

#endif
