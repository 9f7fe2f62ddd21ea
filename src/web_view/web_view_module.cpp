#include "web_view/serve_window.h"
#include "web_view/view_server.h"
#include "web_view/web_view.h"

#include <memory>

namespace {

class RunningWebView final : public WebView {
public:
    explicit RunningWebView(const WebViewHooks& hooks) : m_server(hooks.state)
    {
        QObject::connect(&m_server, &ViewServer::restartRequested, &m_server, hooks.restart);
        QObject::connect(&m_server, &ViewServer::pauseRequested, &m_server, hooks.pause);
        QObject::connect(&m_server, &ViewServer::adjustRequested, &m_server, hooks.adjust);
        QObject::connect(&m_server, &ViewServer::skipRequested, &m_server, hooks.skip);
        m_windowClosed = hooks.windowClosed;
    }

    bool start(quint16 port)
    {
        if (m_server.start(port) == 0)
            return false;
        m_window = std::make_unique<ServeWindow>(m_server.port(), m_server.token());
        QObject::connect(m_window.get(), &ServeWindow::closed, &m_server, m_windowClosed);
        m_window->show();
        return true;
    }

    quint16 port() const override { return m_server.port(); }
    QString token() const override { return m_server.token(); }
    int viewerCount() const override { return m_server.viewerCount(); }
    void setLimits(const ViewLimits& limits) override { m_server.setLimits(limits); }
    void push() override { m_server.push(); }

private:
    ViewServer m_server;
    std::unique_ptr<ServeWindow> m_window;
    std::function<void()> m_windowClosed;
};

} // namespace

extern "C" Q_DECL_EXPORT WebView* lectern_start_web_view(const WebViewHooks& hooks, quint16 port)
{
    auto view = std::make_unique<RunningWebView>(hooks);
    return view->start(port) ? view.release() : nullptr;
}
