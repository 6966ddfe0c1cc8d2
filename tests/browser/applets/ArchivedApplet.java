package cam.archived;

import java.applet.Applet;
import java.awt.Graphics;

// An applet in a package, loaded from a jar named by the page's ARCHIVE.
public class ArchivedApplet extends Applet {
    private static final long serialVersionUID = 1L;

    @Override
    public void paint(Graphics g) {
        g.setColor(new java.awt.Color(0x12, 0x34, 0x56));
        g.fillRect(0, 0, getWidth(), getHeight());
    }
}
