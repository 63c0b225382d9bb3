// Writes the program's icon as PNG files for desktop menus, from the same
// .ico the dialog shows:
//   icon-to-png ICON.ico OUTPUT_DIR SIZE...    -> OUTPUT_DIR/SIZE.png each
// Larger sizes repeat each pixel, which keeps the 32 x 32 drawing sharp.
#include <QCoreApplication>
#include <QDir>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: icon-to-png ICON.ico OUTPUT_DIR SIZE...\n");
        return 2;
    }
    const QImage icon(arguments[1], "ICO");
    if (icon.isNull()) {
        std::fprintf(stderr, "icon-to-png: cannot read %s\n", qPrintable(arguments[1]));
        return 1;
    }
    QDir().mkpath(arguments[2]);
    for (int i = 3; i < arguments.size(); ++i) {
        const int size = arguments[i].toInt();
        const QImage scaled =
            icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const QString file = QDir(arguments[2]).filePath(arguments[i] + ".png");
        if (size <= 0 || !scaled.save(file, "PNG")) {
            std::fprintf(stderr, "icon-to-png: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
