package java.beans;

import java.applet.Applet;
import java.beans.beancontext.BeanContext;

/** Sets up an applet made as a bean, in place of a browser. */
public interface AppletInitializer {
    void initialize(Applet newAppletBean, BeanContext context);
    void activate(Applet newApplet);
}
