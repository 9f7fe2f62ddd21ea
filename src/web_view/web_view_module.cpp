#include "web_view/control_token.h"
#include "web_view/control_window.h"
#include "web_view/serve_window.h"
#include "web_view/view_server.h"
#include "web_view/web_view.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

class RunningWebView final : public WebView {
public:
    RunningWebView(ViewHost& host, const ViewSetup& setup)
        : m_host(host), m_server(host), m_token(setup.tokenPath), m_keyTarget(setup.keyTarget)
    {
        m_server.setToken(m_token.value());
        QObject::connect(&m_token, &ControlToken::changed, &m_server, [this](const QString& token) {
            m_server.setToken(token);
            if (m_controlWindow && m_controlWindow->isVisible())
                m_controlWindow->showAddress(controlUrl());
        });
    }

    bool start(quint16 port)
    {
        if (m_server.start(port) == 0)
            return false;
        m_addresses = ServeWindow::viewAddresses(m_server.port());
        m_window = std::make_unique<ServeWindow>(m_addresses, m_keyTarget);
        QObject::connect(m_window.get(), &ServeWindow::closed, &m_server, [this] { m_host.viewClosed(); });
        QObject::connect(m_window.get(), &ServeWindow::controlCodeRequested, &m_server, [this] { showControl(); });
        m_window->show();
        return true;
    }

    quint16 port() const override { return m_server.port(); }
    QString token() const override { return m_server.token(); }
    QString controlUrl() const override
    {
        const QString token = m_server.token();
        return token.isEmpty() ? QString() : m_addresses.value(0) + u"#control="_s + token;
    }
    int viewerCount() const override { return m_server.viewerCount(); }
    void setLimits(const ViewLimits& limits) override { m_server.setLimits(limits); }
    void push() override { m_server.push(); }

private:
    void showControl()
    {
        if (!m_controlWindow) {
            m_controlWindow = std::make_unique<ControlWindow>(m_keyTarget);
            QObject::connect(m_controlWindow.get(), &ControlWindow::renewRequested, &m_token, &ControlToken::renew);
        }
        // Until the token's file has been read there is no address yet; it is shown when the token comes.
        m_controlWindow->showAddress(controlUrl());
    }

    ViewHost& m_host;
    ViewServer m_server;
    ControlToken m_token;
    QObject* m_keyTarget;
    QStringList m_addresses;
    std::unique_ptr<ServeWindow> m_window;
    std::unique_ptr<ControlWindow> m_controlWindow;
};

} // namespace

extern "C" Q_DECL_EXPORT WebView* lectern_start_web_view(ViewHost& host, const ViewSetup& setup, quint16 port)
{
    auto view = std::make_unique<RunningWebView>(host, setup);
    return view->start(port) ? view.release() : nullptr;
}
