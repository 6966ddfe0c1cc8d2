package java.applet;

import java.awt.Image;
import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.util.Enumeration;
import java.util.Iterator;

/** The page an applet is on, as the browser lets the applet see it. */
public interface AppletContext {
    AudioClip getAudioClip(URL url);
    Image getImage(URL url);
    Applet getApplet(String name);
    Enumeration<Applet> getApplets();
    void showDocument(URL url);
    void showDocument(URL url, String target);
    void showStatus(String status);
    void setStream(String key, InputStream stream) throws IOException;
    InputStream getStream(String key);
    Iterator<String> getStreamKeys();
}
