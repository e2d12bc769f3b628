// kvara-programmer: programs UHF RFID tags through Kvara readers.
#include <QApplication>

#include "ui/app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    kvara::CKvara_ProgrammerApp app;
    return app.Run();
}
