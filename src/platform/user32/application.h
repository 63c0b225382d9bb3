// The process's one Qt application, which every window needs.
#ifndef VELMORA_PLATFORM_USER32_APPLICATION_H
#define VELMORA_PLATFORM_USER32_APPLICATION_H

#include <QApplication>

#include <memory>

namespace user32 {

// Makes the application from the process's arguments. When it cannot open a
// display the process ends here: one line on standard error and status 1,
// where Qt itself would abort.
std::unique_ptr<QApplication> StartApplication();

}  // namespace user32

#endif
