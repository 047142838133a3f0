#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel placeholder(QStringLiteral("Tessaro"));
    placeholder.resize(300, 354);
    placeholder.show();
    return app.exec();
}
