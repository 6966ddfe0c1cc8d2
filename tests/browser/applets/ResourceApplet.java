import java.applet.Applet;
import java.awt.Color;
import java.awt.Graphics;
import java.io.BufferedReader;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;

// An applet whose colour comes from a resource below its class's folder, read by an
// inner class of its own; it counts clicks by drawing one square per click, and
// says each in its status, with markup and far too long (100000 letters x).
public class ResourceApplet extends Applet {
    private static final long serialVersionUID = 1L;
    private Color colour = Color.black;
    private int clicks;

    private final class ColourReader {
        Color read() throws Exception {
            try (InputStream in = ResourceApplet.class.getResourceAsStream("applets/colour.txt")) {
                String text = new BufferedReader(new InputStreamReader(in, StandardCharsets.UTF_8)).readLine();
                return new Color(Integer.parseInt(text.trim().substring(1), 16));
            }
        }
    }

    @Override
    public void init() {
        try {
            colour = new ColourReader().read();
        } catch (Exception e) {
            colour = Color.red;
        }
        addMouseListener(new java.awt.event.MouseAdapter() {
            @Override
            public void mouseClicked(java.awt.event.MouseEvent e) {
                ++clicks;
                showStatus("<b>click " + clicks + "</b>\t" + new String(new char[100000]).replace((char) 0, (char) 120));
                repaint();
            }
        });
    }

    @Override
    public void paint(Graphics g) {
        g.setColor(colour);
        g.fillRect(0, 0, getWidth(), getHeight());
        g.setColor(Color.white);
        for (int i = 0; i < clicks; ++i)
            g.fillRect(4 + i * 12, 4, 8, 8);
    }
}
