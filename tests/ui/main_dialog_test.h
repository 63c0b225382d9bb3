#ifndef VELMORA_TESTS_UI_MAIN_DIALOG_TEST_H
#define VELMORA_TESTS_UI_MAIN_DIALOG_TEST_H

#include <QObject>

// The real MainDialogProc through the Qt stand-in: initialisation, commands,
// keys, message boxes and the Closed/Open states.
class MainDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void initialisationBeforeTheDialogIsShown();
    void configurationErrorComesBeforeTheDialog();
    void commandsThatShowAMessage_data();
    void commandsThatShowAMessage();
    void openAndCloseTheChosenDevice();
    void failedOpenStaysClosed();
    void randomizeSendsOnePass_data();
    void randomizeSendsOnePass();
    void helpRequestIsPostedNotSent();
    void randomizeForF1ComesBeforeTheNextKey();
    void newChannelTakesEffectAtNextRandomize();
    void changingAListDoesNothingElse_data();
    void changingAListDoesNothingElse();
    void outputListIsLockedWhileOpen();
    void enterDoesNothing_data();
    void enterDoesNothing();
    void enterOnAFocusedButtonPressesIt();
    void mnemonicFocusesItsButton();
    void everyMnemonicPressClicks();
    void escapeClosesAnOpenListFirst();
    void endingTheDialogClosesTheOutput_data();
    void endingTheDialogClosesTheOutput();
};

#endif
