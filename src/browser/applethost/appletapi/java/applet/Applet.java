package java.applet;

import java.awt.Dimension;
import java.awt.GraphicsEnvironment;
import java.awt.HeadlessException;
import java.awt.Image;
import java.awt.Panel;
import java.net.MalformedURLException;
import java.net.URL;
import java.util.Locale;
import javax.accessibility.AccessibleContext;
import javax.accessibility.AccessibleRole;
import javax.accessibility.AccessibleState;
import javax.accessibility.AccessibleStateSet;

/**
 * A panel on a web page that runs code of its page's server. All it knows of
 * the page comes from its stub, which the host sets before init.
 */
public class Applet extends Panel {
    private static final long serialVersionUID = -5836846270535785031L;

    private transient AppletStub stub;

    public Applet() throws HeadlessException {
        if (GraphicsEnvironment.isHeadless())
            throw new HeadlessException();
    }

    /** Set by the host before init. */
    public final void setStub(AppletStub stub) {
        this.stub = stub;
    }

    public boolean isActive() {
        return stub != null && stub.isActive();
    }

    public URL getDocumentBase() {
        return stub.getDocumentBase();
    }

    public URL getCodeBase() {
        return stub.getCodeBase();
    }

    public String getParameter(String name) {
        return stub.getParameter(name);
    }

    public AppletContext getAppletContext() {
        return stub.getAppletContext();
    }

    @SuppressWarnings("deprecation")
    public void resize(int width, int height) {
        Dimension size = size();
        if (size.width != width || size.height != height) {
            super.resize(width, height);
            if (stub != null)
                stub.appletResize(width, height);
        }
    }

    @SuppressWarnings("deprecation")
    public void resize(Dimension size) {
        resize(size.width, size.height);
    }

    @Override
    public boolean isValidateRoot() {
        return true;
    }

    public void showStatus(String message) {
        getAppletContext().showStatus(message);
    }

    public Image getImage(URL url) {
        return getAppletContext().getImage(url);
    }

    public Image getImage(URL url, String name) {
        try {
            return getImage(new URL(url, name));
        } catch (MalformedURLException e) {
            return null;
        }
    }

    /** A clip that plays nothing: the viewer has no sound. */
    public static final AudioClip newAudioClip(URL url) {
        return new AudioClip() {
            public void play() {}
            public void loop() {}
            public void stop() {}
        };
    }

    public AudioClip getAudioClip(URL url) {
        return getAppletContext().getAudioClip(url);
    }

    public AudioClip getAudioClip(URL url, String name) {
        try {
            return getAudioClip(new URL(url, name));
        } catch (MalformedURLException e) {
            return null;
        }
    }

    public String getAppletInfo() {
        return null;
    }

    @Override
    public Locale getLocale() {
        Locale locale = super.getLocale();
        return locale != null ? locale : Locale.getDefault();
    }

    public String[][] getParameterInfo() {
        return null;
    }

    public void play(URL url) {
        AudioClip clip = getAudioClip(url);
        if (clip != null)
            clip.play();
    }

    public void play(URL url, String name) {
        AudioClip clip = getAudioClip(url, name);
        if (clip != null)
            clip.play();
    }

    public void init() {}

    public void start() {}

    public void stop() {}

    public void destroy() {}

    @Override
    public AccessibleContext getAccessibleContext() {
        if (accessibleContext == null)
            accessibleContext = new AccessibleApplet();
        return accessibleContext;
    }

    protected class AccessibleApplet extends AccessibleAWTPanel {
        private static final long serialVersionUID = 8127374778187708896L;

        protected AccessibleApplet() {}

        @Override
        public AccessibleRole getAccessibleRole() {
            return AccessibleRole.FRAME;
        }

        @Override
        public AccessibleStateSet getAccessibleStateSet() {
            AccessibleStateSet states = super.getAccessibleStateSet();
            states.add(AccessibleState.ACTIVE);
            return states;
        }
    }
}
