package java.applet;

import java.net.URL;

/** What the browser gives an applet of its page: addresses, parameters, its context. */
public interface AppletStub {
    boolean isActive();
    URL getDocumentBase();
    URL getCodeBase();
    String getParameter(String name);
    AppletContext getAppletContext();
    void appletResize(int width, int height);
}
