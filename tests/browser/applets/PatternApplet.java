import java.applet.Applet;
import java.awt.Graphics;
import java.awt.image.BufferedImage;

// An AWT applet that paints the test pattern, with a stripe on top in the
// colour of its "Stripe" parameter.
public class PatternApplet extends Applet {
    private static final long serialVersionUID = 1L;
    private BufferedImage picture;

    @Override
    public void init() {
        picture = Pattern.image(getSize().width, getSize().height, Pattern.colour(getParameter("stripe")));
    }

    @Override
    public void paint(Graphics g) {
        g.drawImage(picture, 0, 0, null);
    }
}
