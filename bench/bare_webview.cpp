// The baseline of the start-up benchmark: a bare program that shows one QWebEngineView
// with a page, made the way the program makes its application (shared GL contexts).
//
//   bare_webview URL
#include <QApplication>
#include <QUrl>
#include <QWebEngineView>

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QWebEngineView view;
    view.setWindowTitle(QStringLiteral("bare web view"));
    view.resize(800, 600);
    if (argc > 1) view.load(QUrl(QString::fromLocal8Bit(argv[1])));
    view.show();
    return app.exec();
}
