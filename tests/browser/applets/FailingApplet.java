import java.applet.Applet;

// An applet whose init fails.
public class FailingApplet extends Applet {
    private static final long serialVersionUID = 1L;

    @Override
    public void init() {
        throw new IllegalStateException("the camera is switched off");
    }
}
